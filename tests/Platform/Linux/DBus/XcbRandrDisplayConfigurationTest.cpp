// The RandR adapters against a real X server: Xorg with the dummy video driver, whose outputs DUMMY0..15
// each have a CRTC of their own, arranged with xrandr the way a person plugs in and mirrors a projector.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <string>
#include <vector>

#include "Monitors/MirroringMonitor.h"
#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Displays/XcbRandrDisplayConfiguration.h"
#include "Platform/Linux/Displays/XcbRandrScreens.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

constexpr const char* kXorg = "/usr/lib/xorg/Xorg";
constexpr const char* kDummyDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";
constexpr const char* kXrandr = "/usr/bin/xrandr";

// DUMMY0 starts at 1600x1200; the two modelines are what DUMMY1 is given later. No input devices.
constexpr const char* kXorgConf = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1600x1200" 161.00 1600 1712 1880 2160 1200 1203 1207 1245 -hsync +vsync
  Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831 -hsync +vsync
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1600x1200"
    Virtual 4096 2048
  EndSubSection
EndSection
)";

// What the monitor read last, passed through to the real adapter untouched.
struct Recording : DisplayConfiguration {
    explicit Recording(DisplayConfiguration& adapter) : real(adapter) { pass(true); }
    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override {
        online = real.onlineDisplays(maxCount);
        ++reads;
        return online;
    }
    bool isInMirrorSet(DisplayID display) override { return real.isInMirrorSet(display); }
    /// Listens to the adapter and passes its reconfigurations on (true), or stops listening.
    void pass(bool on) {
        passed = on ? real.reconfiguration.connect([this](DisplayID display, bool isBeginning) {
            reconfiguration.emit(display, isBeginning);
        })
                    : Connection();
    }
    DisplayConfiguration& real;
    Connection passed;
    std::vector<DisplayID> online;
    int reads = 0;
};

TEST(XcbRandrDisplayConfigurationTest, XorgDummyOutputsMirroredAndMovedAsideAreFollowedToTheLastChange) {
    for (const char* program : {kXorg, kDummyDriver, kXrandr}) {
        if (!QFile::exists(program))
            GTEST_SKIP() << program
                         << " is missing (Debian packages xserver-xorg-core, xserver-xorg-video-dummy, "
                            "x11-xserver-utils)";
    }
    const test::TemporaryFolder dir("torvel-xorg");
    test::writeFile(dir / "xorg.conf", kXorgConf);
    const auto path = [&](const char* name) { return QString::fromStdString((dir / name).string()); };
    QProcess xorg;
    xorg.setStandardErrorFile(path("xorg.stderr"));
    xorg.start(kXorg, {"-config", path("xorg.conf"), "-logfile", path("xorg.log"), "-noreset", "-nolisten",
                       "tcp", "-displayfd", "1"});
    ASSERT_TRUE(xorg.waitForStarted(5000) && xorg.waitForReadyRead(20000))
        << "Xorg did not start (it needs root): " << test::readFile(dir / "xorg.stderr");
    const std::string display = ":" + QString::fromUtf8(xorg.readLine()).trimmed().toStdString();
    const auto xrandr = [&](const QStringList& args) {
        QProcess run;
        run.start(kXrandr, QStringList{"-display", QString::fromStdString(display)} + args);
        return run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    };

    CapturingLogSink log, monitorLog, screensLog;
    QtScheduler scheduler;
    XcbRandrDisplayConfiguration real(log, display);
    // The screens as the desktop counts them, read on each change they announce: a mirror is one.
    XcbRandrScreens screens(screensLog, display);
    std::vector<int> counts{screens.screenCount()};
    auto screensChanged = screens.changed.connect([&] { counts.push_back(screens.screenCount()); });
    const auto screensNow = [&](int count) {
        return PrivateBuses::waitFor([&] { return counts.back() == count; });
    };
    Recording displays(real);
    MirroringMonitor monitor(displays, scheduler, monitorLog);
    std::vector<bool> changes;
    auto connection = monitor.mirroringChanged.connect([&](bool value) { changes.push_back(value); });
    monitor.checkMirroring();
    monitor.startFollowingReconfigurations();
    ASSERT_EQ(displays.online.size(), 1u);  // DUMMY0 alone; the other fifteen are dark
    EXPECT_FALSE(monitor.isMirroring());
    EXPECT_TRUE(real.onlineDisplays(0).empty());  // the caller's limit holds

    ASSERT_TRUE(xrandr({"--addmode", "DUMMY1", "1280x800"}) && xrandr({"--addmode", "DUMMY1", "1600x1200"}));
    // A projector beside the panel is no mirror.
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--mode", "1280x800", "--right-of", "DUMMY0"}));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return displays.online.size() == 2; }));
    EXPECT_FALSE(monitor.isMirroring());
    EXPECT_TRUE(screensNow(2)) << "a screen beside the panel";
    // Showing the same picture in its own mode, the screen shrinking around it in the same request:
    // the reading follows the last event of the burst, not the first.
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--mode", "1600x1200", "--same-as", "DUMMY0"}));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return monitor.isMirroring(); }))
        << "mirroring of equal modes not seen";
    EXPECT_TRUE(screensNow(1)) << "a mirror is one screen";
    // Back beside it, then mirrored at a smaller mode: the smaller picture lies inside the larger.
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--mode", "1280x800", "--right-of", "DUMMY0"}));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return !monitor.isMirroring(); }));
    EXPECT_TRUE(screensNow(2));
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--mode", "1280x800", "--same-as", "DUMMY0"}));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return monitor.isMirroring(); }))
        << "mirroring of a smaller mode not seen";
    EXPECT_TRUE(screensNow(1));
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--off"}));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return displays.online.size() == 1 && !monitor.isMirroring(); }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(counts.front(), 1);
    EXPECT_EQ(screens.screenCount(), 1);
    EXPECT_TRUE(std::find(counts.begin(), counts.end(), 2) != counts.end());

    // Not listened to, a change is not heard; listening again, the server going is heard and said once.
    displays.pass(false);
    const int reads = displays.reads;
    ASSERT_TRUE(xrandr({"--output", "DUMMY1", "--mode", "1280x800", "--right-of", "DUMMY0"}));
    EXPECT_FALSE(PrivateBuses::waitFor([&] { return displays.reads > reads; }, 300));
    displays.pass(true);
    xorg.terminate();
    ASSERT_TRUE(xorg.waitForFinished(10000));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return displays.online.empty(); }));
    EXPECT_EQ(log.messages("Mirroring").size(), 1u);
    EXPECT_TRUE(screensNow(0)) << "the server going is a change, and no server is no screen";
    EXPECT_EQ(screensLog.messages("Displays").size(), 1u);

    XcbRandrDisplayConfiguration nowhere(log, "");
    EXPECT_TRUE(nowhere.onlineDisplays(16).empty());
    XcbRandrScreens noScreens(screensLog, "");
    EXPECT_EQ(noScreens.screenCount(), 0);
    EXPECT_FALSE(XcbRandrConnection::hasRandr(""));
    EXPECT_FALSE(XcbRandrConnection::hasRandr(display)) << "the server is gone";
}

}  // namespace
}  // namespace torvel
