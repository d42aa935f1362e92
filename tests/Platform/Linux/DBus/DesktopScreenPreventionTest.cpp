#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Power/DesktopPowerAssertions.h"

namespace torvel {

// Readable ways in a failing expectation.
void PrintTo(ScreenWay way, std::ostream* out) {
    *out << describe(way);
}

namespace {

using Bus = PrivateBuses::Bus;
using Adapter = DesktopPowerAssertions;
using Way = ScreenWay;
using Calls = std::vector<std::string>;
constexpr const char* kName = "Torvel prevents screensaver";
const QString kScreenSaver = "org.freedesktop.ScreenSaver", kScreenSaverPath = "/org/freedesktop/ScreenSaver",
              kGnome = "org.gnome.SessionManager", kGnomePath = "/org/gnome/SessionManager";
const QString kNextCookie = "self.cookie = getattr(self, 'cookie', 40) + 1; ret = self.cookie";
const QString kNotSupported = PrivateBuses::raising("org.freedesktop.DBus.Error.NotSupported");

class DesktopScreenPreventionTest : public PrivateBusTest {
protected:
    void startMock(const QString& service, const QString& path) {
        ASSERT_TRUE(buses.startMock(Bus::session, service, path, service));
    }
    void addMethod(const QString& service, const QString& path, const QString& method, const QString& in,
                   const QString& out, const QString& code) {
        ASSERT_TRUE(buses.addMethod(Bus::session, service, path, service, method, in, out, code));
    }
    Calls calls(const QString& service, const QString& path) const {
        return buses.callLines(Bus::session, service, path);
    }
    Adapter adapter(SessionDisplays displays = {}) { return Adapter(system(), session(), log, displays); }
};

TEST_F(DesktopScreenPreventionTest, GnomeHoldsTheIdleInhibitorUntilItsOwnerGoes) {
    startMock(kGnome, kGnomePath);
    addMethod(kGnome, kGnomePath, "Inhibit", "susu", "u", kNextCookie);
    addMethod(kGnome, kGnomePath, "Uninhibit", "u", "", "");
    // GNOME's screen-saver proxy refuses to simulate activity: it must not be what we rely on.
    startMock(kScreenSaver, kScreenSaverPath);
    addMethod(kScreenSaver, kScreenSaverPath, "SimulateUserActivity", "", "", kNotSupported);
    auto gnome = adapter({":99", ""});  // an X display too: GNOME's inhibitor still comes first
    int changes = 0;
    const Connection servicesChanged = gnome.servicesChanged.connect([&] { ++changes; });
    EXPECT_EQ(gnome.screenWay(), Way::gnomeInhibit);

    const auto held = gnome.startUserActivity(kName);
    ASSERT_EQ(held.status, 0);
    for (int refresh = 0; refresh < 3; ++refresh) EXPECT_EQ(gnome.confirmUserActivity(held.id), 0);
    EXPECT_EQ(gnome.release(held.id), 0);
    EXPECT_EQ(calls(kGnome, kGnomePath),
              (Calls{"Inhibit Torvel 0 Torvel prevents screensaver 8", "Uninhibit 41"}));
    EXPECT_TRUE(calls(kScreenSaver, kScreenSaverPath).empty());

    // The session manager leaves the bus: the next confirmation fails, so the prevention can be taken
    // again, and the application hears that the services changed.
    const auto again = gnome.startUserActivity(kName);
    ASSERT_EQ(again.status, 0);
    ASSERT_TRUE(buses.releaseName(Bus::session, kGnome, kGnomePath, kGnome));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return gnome.confirmUserActivity(again.id) != 0; }));
    EXPECT_EQ(gnome.confirmUserActivity(again.id), Adapter::kServiceUnknown);
    EXPECT_GE(changes, 1);
    EXPECT_EQ(gnome.screenWay(), Way::screenSaverInhibit);
}

TEST_F(DesktopScreenPreventionTest,
       KdeAndXfceHoldTheScreenSaverInhibitorAndSimulateActivityOnlyWhereRefused) {
    // Xfce offers the screen saver alone; Plasma adds PowerManagement, which is no help for the screen.
    startMock(kScreenSaver, kScreenSaverPath);
    addMethod(kScreenSaver, kScreenSaverPath, "Inhibit", "ss", "u", kNextCookie);
    addMethod(kScreenSaver, kScreenSaverPath, "UnInhibit", "u", "", "");
    for (const bool plasma : {false, true}) {
        if (plasma) startMock("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit");
        auto inhibiting = adapter();
        EXPECT_EQ(inhibiting.screenWay(), Way::screenSaverInhibit);
        const auto held = inhibiting.startUserActivity(kName);
        ASSERT_EQ(held.status, 0);
        EXPECT_EQ(inhibiting.confirmUserActivity(held.id), 0);
        EXPECT_EQ(inhibiting.release(held.id), 0);
    }
    const std::string inhibit = "Inhibit Torvel Torvel prevents screensaver";
    EXPECT_EQ(calls(kScreenSaver, kScreenSaverPath),
              (Calls{inhibit, "UnInhibit 41", inhibit, "UnInhibit 42"}));

    // A screen saver that refuses Inhibit has its activity simulated instead.
    addMethod(kScreenSaver, kScreenSaverPath, "Inhibit", "ss", "u", kNotSupported);
    addMethod(kScreenSaver, kScreenSaverPath, "SimulateUserActivity", "", "", "");
    auto desktop = adapter();
    const auto held = desktop.startUserActivity(kName);
    ASSERT_EQ(held.status, 0);
    EXPECT_EQ(desktop.screenWay(), Way::simulatedActivity);  // not asked to Inhibit again
    const auto simulated = [&] {
        return std::ranges::count(calls(kScreenSaver, kScreenSaverPath), "SimulateUserActivity");
    };
    EXPECT_EQ(simulated(), 1);

    // Each confirmation renews the activity without waiting for the answer; a refusal shows next time.
    EXPECT_EQ(desktop.confirmUserActivity(held.id), 0);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return simulated() == 2; }));
    addMethod(kScreenSaver, kScreenSaverPath, "SimulateUserActivity", "", "", kNotSupported);
    EXPECT_EQ(desktop.confirmUserActivity(held.id), 0);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return desktop.confirmUserActivity(held.id) != 0; }));
    EXPECT_EQ(desktop.confirmUserActivity(held.id), Adapter::kUnsupported);
    EXPECT_EQ(desktop.release(held.id), 0);
}

TEST_F(DesktopScreenPreventionTest, WithoutAServiceTheDisplayDecides) {
    auto headless = adapter();
    EXPECT_EQ(headless.screenWay(), Way::nothingToDo);  // nothing to keep on is success
    const auto held = headless.startUserActivity(kName);
    ASSERT_EQ(held.status, 0);
    EXPECT_EQ(headless.confirmUserActivity(held.id), 0);
    EXPECT_EQ(headless.release(held.id), 0);

    auto unreachable = adapter({"/nonexistent/display", ""});
    EXPECT_EQ(unreachable.screenWay(), Way::x11Suspend);
    EXPECT_NE(unreachable.startUserActivity(kName).status, 0);

    auto wayland = adapter({"", "wayland-0"});
    int changes = 0;
    const Connection servicesChanged = wayland.servicesChanged.connect([&] { ++changes; });
    EXPECT_EQ(wayland.startUserActivity(kName).status, Adapter::kNoScreenWay);
    // A screen saver that comes later is seen from the bus's signal, and the application is told.
    startMock(kScreenSaver, kScreenSaverPath);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return wayland.screenWay() == Way::screenSaverInhibit; }));
    EXPECT_EQ(changes, 1);
}

// A bare X server (i3, Openbox): its own blanker is suspended while the prevention runs.
TEST_F(DesktopScreenPreventionTest, BareXServerKeepsItsBlankerSuspended) {
    if (!QFile::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    QProcess xvfb;
    xvfb.start("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
    ASSERT_TRUE(xvfb.waitForStarted(5000) && xvfb.waitForReadyRead(10000));
    const std::string display = ":" + QString::fromUtf8(xvfb.readLine()).trimmed().toStdString();

    // Our own view of the server: a one-second screen-saver timeout, and its state and idle time.
    xcb_connection_t* probe = xcb_connect(display.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(probe), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(probe)).data->root;
    xcb_set_screen_saver(probe, 1, 0, XCB_BLANKING_NOT_PREFERRED, XCB_EXPOSURES_ALLOWED);
    const auto info = [&] {
        std::unique_ptr<xcb_screensaver_query_info_reply_t, decltype(&std::free)> reply(
            xcb_screensaver_query_info_reply(probe, xcb_screensaver_query_info(probe, root), nullptr),
            &std::free);
        return std::pair<int, std::uint32_t>{reply ? reply->state : -1,
                                             reply ? reply->ms_since_user_input : 0};
    };

    auto session = adapter({display, ""});
    EXPECT_EQ(session.screenWay(), Way::x11Suspend);
    const auto held = session.startUserActivity(kName);
    ASSERT_EQ(held.status, 0);
    // Well past the timeout, the screen saver has still not come on.
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return info().second > 2500; }, 10000));
    EXPECT_EQ(info().first, XCB_SCREENSAVER_STATE_OFF);
    EXPECT_EQ(session.confirmUserActivity(held.id), 0);

    // Released, the server blanks on its own timer again.
    EXPECT_EQ(session.release(held.id), 0);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return info().first == XCB_SCREENSAVER_STATE_ON; }, 5000));
    xcb_disconnect(probe);

    // The server goes away: the prevention is lost, and the next confirmation says so.
    const auto again = session.startUserActivity(kName);
    ASSERT_EQ(again.status, 0);
    xvfb.terminate();
    ASSERT_TRUE(xvfb.waitForFinished(5000));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return session.confirmUserActivity(again.id) != 0; }));
}

}  // namespace
}  // namespace torvel
