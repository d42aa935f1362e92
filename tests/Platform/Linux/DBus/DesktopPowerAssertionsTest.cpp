#include "Platform/Linux/Power/DesktopPowerAssertions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>

#include "Core/SleepPreventionService.h"
#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
using Adapter = DesktopPowerAssertions;
using Calls = std::vector<std::string>;
constexpr const char* kName = SleepPreventionService::kAssertionName;
const QString kLogind = "org.freedesktop.login1", kLogindPath = "/org/freedesktop/login1",
              kPowerManagement = "org.freedesktop.PowerManagement",
              kPowerManagementPath = "/org/freedesktop/PowerManagement/Inhibit",
              kScreenSaver = "org.freedesktop.ScreenSaver", kGnome = "org.gnome.SessionManager",
              kGnomePath = "/org/gnome/SessionManager";
// logind recording each caller's own pid and uid.
const QString kCallerLogind = QStringLiteral(TORVEL_DBUS_TEST_DIR "/logind_callers.py");
// Cookies count up from 41 on each mock.
const QString kNextCookie = "self.cookie = getattr(self, 'cookie', 40) + 1; ret = self.cookie";

class DesktopPowerAssertionsTest : public PrivateBusTest {
protected:
    // A session service with Inhibit handing out cookies and an UnInhibit (or GNOME's Uninhibit).
    void startCookieMock(const QString& service, const QString& path, const QString& interface,
                         const QString& inhibitSignature, const QString& uninhibit) {
        ASSERT_TRUE(buses.startMock(Bus::session, service, path, interface));
        ASSERT_TRUE(buses.addMethod(Bus::session, service, path, interface, "Inhibit", inhibitSignature, "u",
                                    kNextCookie));
        ASSERT_TRUE(buses.addMethod(Bus::session, service, path, interface, uninhibit, "u", "", ""));
    }

    // logind's inhibitors as "what|who|why|mode".
    std::vector<std::string> inhibitors() const {
        const auto reply = system().call(listInhibitorsCall(), QDBus::Block, 5000);
        std::vector<std::string> out;
        for (const auto& lock : inhibitorsFromReply(reply).value_or(std::vector<LogindInhibitor>{}))
            out.push_back(QStringList{lock.what, lock.who, lock.why, lock.mode}.join('|').toStdString());
        return out;
    }

    // isAlive() as logind's answer to a question asked after now says; the first may meet an older one.
    static bool answeredAlive(Adapter& adapter, std::uint32_t id) {
        for (int round = 0; round < 2; ++round) {
            adapter.isAlive(id);
            EXPECT_TRUE(PrivateBuses::waitFor([&] { return !adapter.logindListPending(); }));
        }
        return adapter.isAlive(id);
    }

    bool inhibitorsBecome(const std::vector<std::string>& expected) const {
        return PrivateBuses::waitFor([&] { return inhibitors() == expected; });
    }
};

TEST_F(DesktopPowerAssertionsTest, LogindAloneHoldsTheAssertionWithoutADesktop) {
    ASSERT_TRUE(buses.startTemplate(Bus::system, kCallerLogind, kLogind));
    Adapter adapter(system(), session(), log);

    const auto taken = adapter.create(AssertionType::noSystemSleep, kName);
    ASSERT_EQ(taken.status, 0);
    EXPECT_NE(taken.id, 0u);
    EXPECT_EQ(inhibitors(), std::vector<std::string>{"idle:sleep|Torvel|Torvel prevents sleep|block"});
    EXPECT_TRUE(adapter.isAlive(taken.id));  // no list yet: trusted as held
    EXPECT_TRUE(answeredAlive(adapter, taken.id));

    EXPECT_EQ(adapter.release(taken.id), 0);
    EXPECT_TRUE(inhibitorsBecome({}));  // the descriptor is closed
    EXPECT_FALSE(adapter.isAlive(taken.id));
    EXPECT_EQ(adapter.release(taken.id), Adapter::kUnknownId);

    // Another process holds an inhibitor with our very words; logind then drops ours behind our back.
    const auto idle = adapter.create(AssertionType::noIdleSleep, kName);
    ASSERT_EQ(idle.status, 0);
    const QString other = "com.torvel.Test.Other";
    ASSERT_TRUE(buses.startMock(Bus::session, other, "/Other", other));
    ASSERT_TRUE(buses.addMethod(
        Bus::session, other, "/Other", other, "Hold", "", "",
        "import os; self.system = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS']); "
        "self.fd = self.system.call_blocking('org.freedesktop.login1', '/org/freedesktop/login1', "
        "'org.freedesktop.login1.Manager', 'Inhibit', 'ssss', "
        "('idle', 'Torvel', 'Torvel prevents sleep', 'block'))"));
    ASSERT_EQ(buses.call(Bus::session, other, "/Other", other, "Hold").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(answeredAlive(adapter, idle.id));
    ASSERT_EQ(buses
                  .call(Bus::system, kLogind, kLogindPath, "org.freedesktop.DBus.Mock", "ForgetInhibitorsOf",
                        {static_cast<uint>(QCoreApplication::applicationPid())})
                  .type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(inhibitors(), std::vector<std::string>{"idle|Torvel|Torvel prevents sleep|block"});  // theirs
    EXPECT_FALSE(answeredAlive(adapter, idle.id));
    EXPECT_EQ(adapter.release(idle.id), 0);  // still ours to release

    // logind cannot answer: what we hold is trusted.
    const auto again = adapter.create(AssertionType::noSystemSleep, kName);
    ASSERT_TRUE(buses.logindMethod("ListInhibitors", "", "a(ssssuu)", PrivateBuses::raising("x.Failed")));
    EXPECT_TRUE(answeredAlive(adapter, again.id));
}

TEST_F(DesktopPowerAssertionsTest, SwapOnKdeReleasesOnceAndCreatesTwice) {
    ASSERT_TRUE(buses.startTemplate(Bus::system, "logind", kLogind));
    startCookieMock(kPowerManagement, kPowerManagementPath, "org.freedesktop.PowerManagement.Inhibit", "ss",
                    "UnInhibit");
    startCookieMock(kScreenSaver, "/ScreenSaver", kScreenSaver, "ss", "UnInhibit");  // the short path only
    Adapter adapter(system(), session(), log);
    SimClock clock;
    VirtualScheduler scheduler(clock);
    SleepPreventionService service(adapter, scheduler, log);

    ASSERT_FALSE(service.start(AssertionType::noIdleSleep).has_value());
    ASSERT_FALSE(service.start(AssertionType::noDisplaySleep).has_value());

    EXPECT_EQ(buses.callLines(Bus::session, kPowerManagement, kPowerManagementPath),
              (Calls{"Inhibit Torvel Torvel prevents sleep", "UnInhibit 41",
                     "Inhibit Torvel Torvel prevents sleep"}));
    EXPECT_EQ(buses.callLines(Bus::session, kScreenSaver, "/ScreenSaver"),
              Calls{"Inhibit Torvel Torvel prevents sleep"});
    EXPECT_EQ(buses.callLines(Bus::system, kLogind, kLogindPath),
              (Calls{"Inhibit idle Torvel Torvel prevents sleep block",
                     "Inhibit idle:sleep Torvel Torvel prevents sleep block"}));
    EXPECT_TRUE(inhibitorsBecome({"idle:sleep|Torvel|Torvel prevents sleep|block"}));
    EXPECT_TRUE(service.isAssertionAlive());

    service.stop();
    EXPECT_EQ(buses.callLines(Bus::session, kPowerManagement, kPowerManagementPath).back(), "UnInhibit 42");
    EXPECT_EQ(buses.callLines(Bus::session, kScreenSaver, "/ScreenSaver").back(), "UnInhibit 41");
    EXPECT_TRUE(inhibitorsBecome({}));
}

TEST_F(DesktopPowerAssertionsTest, GnomeFlagsCarryTheTypeAndALogindRefusalFailsWhatNeedsIt) {
    ASSERT_TRUE(buses.logindMethod("Inhibit", "ssss", "h",
                                   PrivateBuses::raising("org.freedesktop.DBus.Error.AccessDenied")));
    startCookieMock(kGnome, kGnomePath, kGnome, "susu", "Uninhibit");
    Adapter adapter(system(), session(), log);

    // GNOME's suspend flag carries noIdleSleep; logind's "idle" is an extra it can do without.
    const auto idle = adapter.create(AssertionType::noIdleSleep, kName);
    ASSERT_EQ(idle.status, 0);
    EXPECT_TRUE(adapter.isAlive(idle.id));

    // The session manager restarts (here: leaves the bus): the cookie went with it.
    ASSERT_TRUE(buses.releaseName(Bus::session, kGnome, kGnomePath, kGnome));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return !adapter.isAlive(idle.id); }));
    EXPECT_EQ(adapter.release(idle.id), 0);  // nothing left to give back, and no call to try
    startCookieMock(kGnome, kGnomePath, kGnome, "susu", "Uninhibit");  // back, without our cookie
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return adapter.screenWay() == ScreenWay::gnomeInhibit; }));

    // noDisplaySleep needs logind's "sleep": refused, so GNOME's inhibitor is given back at once.
    const auto display = adapter.create(AssertionType::noDisplaySleep, kName);
    EXPECT_EQ(display.status, Adapter::kAccessDenied);
    EXPECT_EQ(display.id, 0u);
    EXPECT_EQ(buses.callLines(Bus::session, kGnome, kGnomePath),
              (Calls{"Inhibit Torvel 0 Torvel prevents sleep 12", "Uninhibit 41"}));
}

}  // namespace
}  // namespace torvel
