// The windows in their own process, end to end: the real torvel on the simulated machine under its own X
// server and private session bus starts torvel-windows for `torvel settings`, a second request goes to
// the one running, the windows' model follows the resident and hears its refusals, and the process
// ends with its window.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Support/Localization.h"
#include "TorvelProcess.h"
#include "Windows/BusWindowModel.h"

namespace torvel {
namespace {

using apptest::processEventsUntil;
using apptest::waitUntil;

constexpr const char* kWindowsService = "com.torvel.Torvel.Windows";

class WindowProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        if (!QFile::exists("/usr/bin/Xvfb") || !QFile::exists("/usr/bin/xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        ASSERT_TRUE(bus_.connected()) << "dbus-daemon did not start";
        QProcess& xvfb = processes_.start(
            "/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
            QProcessEnvironment::systemEnvironment());
        ASSERT_TRUE(xvfb.waitForReadyRead(10000)) << "Xvfb did not start";
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment_.insert("DISPLAY", ":" + QString::fromUtf8(xvfb.readLine()).trimmed());
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.insert("LANGUAGE", "en");
        for (const char* name :
             {"TORVEL_PLATFORM", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "QT_QPA_PLATFORM"})
            environment_.remove(name);
        QProcess& torvel = processes_.start(TORVEL_EXECUTABLE, {"--platform", "sim"}, environment_);
        ASSERT_TRUE(waitUntil([this] { return bus_.owns("com.torvel.Torvel"); }))
            << "torvel never took its bus name: " << torvel.readAllStandardError().toStdString();
    }

    int run(const QStringList& args) { return apptest::runTorvel(environment_, args).exitCode; }

    /// The first line xdotool prints for `args` on the test's display, trimmed.
    QString xdotool(const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(environment_);
        tool.start("/usr/bin/xdotool", args);
        tool.waitForFinished(5000);
        return QString::fromUtf8(tool.readAllStandardOutput()).split('\n').first().trimmed();
    }

    /// The window processes on this test's bus, by their pids.
    QStringList windowProcesses() {
        const QString program = QFileInfo(QString(TORVEL_EXECUTABLE)).dir().filePath("torvel-windows");
        const QByteArray address = "DBUS_SESSION_BUS_ADDRESS=" + bus_.address().toUtf8();
        QStringList found;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (QFileInfo(QString("/proc/%1/exe").arg(pid)).symLinkTarget() != program) continue;
            QFile environ(QString("/proc/%1/environ").arg(pid));
            if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(address))
                found << pid;
        }
        return found;
    }

    quint32 ownerPid(const QString& name) { return bus_.connection().interface()->servicePid(name).value(); }

    QTemporaryDir config_;
    apptest::PrivateBus bus_{"torvel-windows-e2e"};
    QProcessEnvironment environment_;
    apptest::Processes processes_;
    CapturingLogSink log_;
    Localization texts_{log_};
    SimClock clock_;
};

TEST_F(WindowProcessTest, SettingsOpenInOneWindowProcessThatFollowsTorvelAndEndsWithItsWindow) {
    ASSERT_EQ(run({"settings"}), 0);
    ASSERT_TRUE(waitUntil([this] { return bus_.owns(kWindowsService); }))
        << "no window process took its name";
    ASSERT_TRUE(waitUntil([this] {
        return !xdotool({"search", "--name", "^Torvel settings$"}).isEmpty();
    })) << "the settings window was not mapped";
    const quint32 first = ownerPid(kWindowsService);
    EXPECT_EQ(windowProcesses(), QStringList{QString::number(first)});

    // Asked again while it is open: the new process hands the request over and leaves.
    ASSERT_EQ(run({"settings"}), 0);
    EXPECT_TRUE(waitUntil([this] { return windowProcesses().size() == 1; }))
        << windowProcesses().join(' ').toStdString();
    EXPECT_EQ(ownerPid(kWindowsService), first);

    // The windows' model: a change through the bus arrives, a refused write comes back as a refusal.
    BusWindowModel model(bus_.connection(), texts_, clock_, log_);
    QString error;
    ASSERT_TRUE(model.load(error)) << error.toStdString();
    ASSERT_EQ(run({"config", "set", "guardianHours", "5"}), 0);
    EXPECT_TRUE(processEventsUntil([&] { return model.settings().guardianHours == 5; }));
    // A file where the settings folder belongs: every write is refused as not saved, for root too.
    ASSERT_TRUE(QDir(config_.filePath("torvel")).removeRecursively());
    QFile blocker(config_.filePath("torvel"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    std::optional<SettingRefusal> refused;
    auto refusal = model.settingRefused.connect([&](const SettingRefusal& r) { refused = r; });
    ASSERT_TRUE(model.settings().guardianEnabled);
    EXPECT_FALSE(model.set(&SettingsValues::guardianEnabled, false).has_value());
    ASSERT_TRUE(processEventsUntil([&] { return refused.has_value(); }));
    EXPECT_EQ(refused->reason, SettingRefusal::Reason::notSaved) << refused->message;
    EXPECT_TRUE(model.settings().guardianEnabled);

    // Escape closes the window, and the process goes with it.
    const QString window = xdotool({"search", "--name", "^Torvel settings$"});
    xdotool({"windowfocus", "--sync", window, "key", "Escape"});
    EXPECT_TRUE(waitUntil([this] { return !bus_.owns(kWindowsService) && windowProcesses().isEmpty(); }))
        << "the window process outlived its window";
}

}  // namespace
}  // namespace torvel
