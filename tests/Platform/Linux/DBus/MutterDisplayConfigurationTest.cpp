// The Mutter adapter against GNOME's own compositor: gnome-shell 43 headless with two virtual monitors,
// on a private session bus (no service activation) and a private system bus with logind and UPower
// from dbusmock. The monitors are arranged through Mutter's ApplyMonitorsConfig, as GNOME's display
// settings do it.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <memory>

#include "Monitors/MirroringMonitor.h"
#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Displays/MutterDisplayConfiguration.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimDisplayConfiguration.h"

namespace torvel {
namespace {

constexpr const char* kShell = "/usr/bin/gnome-shell";

constexpr const char* kBusConfig = R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
)";

// Puts the monitors Mutter lists, each at its current mode, on one logical monitor ("mirror") or side
// by side ("apart"); temporary (method 1), as a settings panel's preview is.
constexpr const char* kArrange = R"(
import dbus, sys
bus = dbus.bus.BusConnection(sys.argv[1])
config = dbus.Interface(bus.get_object('org.gnome.Mutter.DisplayConfig', '/org/gnome/Mutter/DisplayConfig'),
                        'org.gnome.Mutter.DisplayConfig')
serial, monitors, _, _ = config.GetCurrentState()
shown = [(m[0][0], next(mode for mode in m[1] if mode[6].get('is-current', False))) for m in monitors]
if sys.argv[2] == 'mirror':
    logical = [(0, 0, 1.0, dbus.UInt32(0), True, [(name, mode[0], {}) for name, mode in shown])]
else:
    logical, x = [], 0
    for name, mode in shown:
        logical.append((x, 0, 1.0, dbus.UInt32(0), x == 0, [(name, mode[0], {})]))
        x += int(mode[1])
config.ApplyMonitorsConfig(serial, dbus.UInt32(1), logical, {}, signature='uua(iiduba(ssa{sv}))a{sv}')
)";

TEST(MutterDisplayConfigurationTest, GnomeMirrorsAreSeenAndTheCardsAnswerWhileMutterIsAway) {
    if (!QFile::exists(kShell)) GTEST_SKIP() << "gnome-shell is not installed (Debian package gnome-shell)";
    PrivateBuses system;  // its system bus carries logind and UPower; the shell gets a session bus of its own
    if (!system.unavailableReason().empty()) GTEST_SKIP() << system.unavailableReason();
    ASSERT_TRUE(system.startTemplate(PrivateBuses::Bus::system, "logind", "org.freedesktop.login1"));
    ASSERT_TRUE(system.startTemplate(PrivateBuses::Bus::system, "upower", "org.freedesktop.UPower"));
    const test::TemporaryFolder folder("torvel-mutter");
    test::writeFile(folder / "bus.conf", kBusConfig);
    const QDir dir(QString::fromStdString(folder.path().string()));
    struct Bus : QProcess {
        ~Bus() override {
            kill();
            waitForFinished(5000);
        }
    } bus;
    bus.start("/usr/bin/dbus-daemon",
              {"--config-file=" + dir.filePath("bus.conf"), "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    struct Disconnect {
        ~Disconnect() { QDBusConnection::disconnectFromBus("mutter-test-session"); }
    } disconnect;
    QDBusConnection session = QDBusConnection::connectToBus(address, "mutter-test-session");
    ASSERT_TRUE(session.isConnected());

    // Started before the shell: the cards (here a simulated card with a mirror) answer meanwhile.
    CapturingLogSink log, monitorLog;
    QtScheduler scheduler;
    auto cards = std::make_unique<SimDisplayConfiguration>(scheduler);
    cards->setMirroring(true);
    SimDisplayConfiguration& fallback = *cards;
    MutterDisplayConfiguration displays(session, std::move(cards), log);
    MirroringMonitor monitor(displays, scheduler, monitorLog);
    monitor.checkMirroring();
    monitor.startFollowingReconfigurations();
    ASSERT_TRUE(PrivateBuses::waitFor([&] {
        return displays.source() == MutterDisplayConfiguration::Source::fallback && monitor.isMirroring();
    }));
    EXPECT_TRUE(fallback.isNotifying());

    QProcess shell;
    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    for (const char* home : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(home, dir.filePath(home));
    environment.insert("XDG_RUNTIME_DIR", dir.absolutePath());
    environment.insert("GSETTINGS_BACKEND", "memory");
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", system.address(PrivateBuses::Bus::system));
    shell.setProcessEnvironment(environment);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.setStandardOutputFile(dir.filePath("gnome-shell.log"));
    shell.start(kShell, {"--headless", "--wayland", "--no-x11", "--wayland-display", "wayland-mutter-test",
                         "--virtual-monitor", "1280x800", "--virtual-monitor", "1280x800"});
    ASSERT_TRUE(shell.waitForStarted(5000));
    const auto shellLog = [&] { return test::readFile(folder / "gnome-shell.log"); };
    // Mutter takes its name: its answer replaces the cards', which are no longer listened to.
    ASSERT_TRUE(PrivateBuses::waitFor(
        [&] {
            return displays.source() == MutterDisplayConfiguration::Source::mutter &&
                   displays.onlineDisplays(16).size() == 2;
        },
        60000))
        << shellLog();
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return !monitor.isMirroring(); }));
    EXPECT_FALSE(fallback.isNotifying());

    const auto arrange = [&](const char* how) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start("/usr/bin/python3", {"-c", kArrange, address, how});
        return run.waitForFinished(20000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    };
    ASSERT_TRUE(arrange("mirror"));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return monitor.isMirroring(); })) << "the mirror was not seen";
    const auto online = displays.onlineDisplays(16);
    ASSERT_EQ(online.size(), 2u);
    EXPECT_TRUE(displays.isInMirrorSet(online[0]) && displays.isInMirrorSet(online[1]));
    ASSERT_TRUE(arrange("apart"));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return !monitor.isMirroring(); }));
    EXPECT_EQ(displays.onlineDisplays(16), online);  // the same monitors keep their ids

    // The shell goes: the cards answer again, and are listened to again.
    shell.terminate();
    ASSERT_TRUE(shell.waitForFinished(20000));
    EXPECT_TRUE(PrivateBuses::waitFor([&] {
        return displays.source() == MutterDisplayConfiguration::Source::fallback && monitor.isMirroring();
    }));
    EXPECT_TRUE(fallback.isNotifying());
}

}  // namespace
}  // namespace torvel
