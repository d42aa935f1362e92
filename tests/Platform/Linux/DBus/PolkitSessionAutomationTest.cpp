#include "Platform/Linux/Power/PolkitSessionAutomation.h"

#include <QMap>

#include <gtest/gtest.h>
#include <unistd.h>

#include "Platform/Linux/Power/LinuxStayguardHelper.h"
#include "Platform/Linux/Power/PowerProfilesDaemon.h"
#include "Platform/Sim/SimProcessRunner.h"
#include "PrivateBuses.h"
#include "State/Emergency/EmergencyHarness.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
constexpr auto kPolkit = "org.freedesktop.PolicyKit1";
constexpr auto kAuthority = "/org/freedesktop/PolicyKit1/Authority";
constexpr auto kLogind = "org.freedesktop.login1";
constexpr auto kLogindPath = "/org/freedesktop/login1";
constexpr auto kSuspend = "org.freedesktop.login1.suspend";
constexpr auto kIgnore = "org.freedesktop.login1.suspend-ignore-inhibit";

struct PolkitSessionAutomationTest : PrivateBusTest {
    std::uint32_t uid = ::getuid();
    PolkitSessionAutomation automation{buses.connection(Bus::system), uid};

    void SetUp() override {
        PrivateBusTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(buses.logindMethod("Suspend", "b", "", ""));
        locks("[]");
    }
    void locks(const QString& list) { ASSERT_TRUE(buses.logindInhibitors(list)); }
    void verdicts(const QMap<QString, QString>& map) { ASSERT_TRUE(buses.setPolkitVerdicts(map)); }
    // The method calls logind received as `method`, each with its arguments.
    std::vector<QVariantList> logindCalls(const QString& method) const {
        std::vector<QVariantList> out;
        for (const auto& [name, args] : buses.calls(Bus::system, kLogind, kLogindPath))
            if (name == method) out.push_back(args);
        return out;
    }
    QStringList asked() {
        return buses.call(Bus::system, kPolkit, kAuthority, "org.freedesktop.DBus.Mock", "AskedActions")
            .arguments()
            .value(0)
            .toStringList();
    }
};

TEST_F(PolkitSessionAutomationTest, SleepAsksLogindToSuspendAndVerdictsBecomeStatuses) {
    // Suspending needs no polkit of ours: logind asks, and its refusal is reported.
    EXPECT_TRUE(automation.sleep(false));
    EXPECT_TRUE(automation.sleep(true));
    EXPECT_EQ(logindCalls("Suspend"), (std::vector<QVariantList>{{false}, {true}}));

    ASSERT_TRUE(buses.logindMethod(
        "Suspend", "b", "", PrivateBuses::raising("org.freedesktop.login1.OperationInProgress", "busy")));
    const auto refused = automation.sleep(false);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "org.freedesktop.login1.OperationInProgress: busy");

    EXPECT_EQ(automation.permissionStatus(false), PermissionStatus::notRunning);
    ASSERT_TRUE(buses.startPolkit());
    const std::pair<const char*, PermissionStatus> cases[] = {{"yes", PermissionStatus::granted},
                                                              {"challenge", PermissionStatus::notAsked},
                                                              {"no", PermissionStatus::denied},
                                                              {"error", PermissionStatus::unreadable}};
    for (const auto& [verdict, status] : cases) {
        verdicts({{kSuspend, verdict}});
        EXPECT_EQ(automation.permissionStatus(false), status) << verdict;
    }
    EXPECT_EQ(automation.permissionStatus(true), PermissionStatus::unreadable);
    // Only the asking read lets polkit prompt.
    EXPECT_EQ(asked().mid(3),
              (QStringList{"org.freedesktop.login1.suspend 0", "org.freedesktop.login1.suspend 1"}));

    // A polkit that is there but never answers is silent, not down: starting it again would not help.
    verdicts({{kSuspend, "silent"}});
    EXPECT_EQ(automation.permissionStatus(false), PermissionStatus::noAnswer);
}

TEST_F(PolkitSessionAutomationTest, AnotherUsersLockDoesNotStopASuspendLogindSaysWillLand) {
    ASSERT_TRUE(buses.startPolkit({{kSuspend, "yes"}, {kIgnore, "yes"}}));
    locks("[('sleep', 'Other', 'b', 'block', 4242, 6)]");
    ASSERT_TRUE(buses.logindMethod("CanSuspend", "", "s", "ret = 'yes'"));
    // The veto's reading answers on the Qt loop; its own scheduler is never asked.
    PowerProfilesDaemon profiles(buses.connection(Bus::system), log);
    SimProcessRunner runner;
    SimClock clock;
    VirtualScheduler scheduler{clock};
    LinuxStayguardHelper power(buses.connection(Bus::system), profiles, runner, scheduler, log, "user");
    EmergencyHarness e(EmergencyWorkRunner::immediate(), false, &automation, &power);
    e.thresholds(10, 0);
    e.addBlocker(42, "backup");
    e.state().handleBatteryStateChanged(BatteryState{4, false, false, true, std::nullopt});
    EXPECT_TRUE(PrivateBuses::waitFor(
        [&] { return logindCalls("Suspend") == std::vector<QVariantList>{QVariantList{false}}; }));
    EXPECT_FALSE(e.logged("the system would refuse the suspend"));
}

TEST_F(PolkitSessionAutomationTest, AnotherUsersSleepLockNeedsTheIgnoreInhibitGrantToo) {
    ASSERT_TRUE(buses.startPolkit());
    // Our own lock, another user's delay lock and idle lock: logind lets a Suspend from us pass.
    locks(QString("[('sleep:idle', 'Mine', 'a', 'block', %1, 5), ('sleep', 'Other', 'b', 'delay', %2, 6),"
                  " ('idle', 'Other', 'c', 'block', %2, 7)]")
              .arg(uid)
              .arg(uid + 1));
    verdicts({{kSuspend, "yes"}, {kIgnore, "no"}});
    EXPECT_EQ(automation.permissionStatus(false), PermissionStatus::granted);
    EXPECT_FALSE(asked().join(' ').contains(kIgnore));

    locks(QString("[('shutdown:sleep', 'Other', 'b', 'block', %1, 6)]").arg(uid + 1));
    const std::tuple<const char*, const char*, PermissionStatus> cases[] = {
        {"yes", "no", PermissionStatus::denied},          {"yes", "challenge", PermissionStatus::notAsked},
        {"challenge", "yes", PermissionStatus::notAsked}, {"yes", "error", PermissionStatus::unreadable},
        {"yes", "yes", PermissionStatus::granted},        {"no", "yes", PermissionStatus::denied}};
    for (const auto& [suspend, ignore, status] : cases) {
        verdicts({{kSuspend, suspend}, {kIgnore, ignore}});
        EXPECT_EQ(automation.permissionStatus(false), status) << suspend << " " << ignore;
    }
    EXPECT_EQ(asked().back(), "org.freedesktop.login1.suspend 0");  // a refusal needs no second question
    EXPECT_TRUE(asked().contains(QString(kIgnore) + " 0"));
}

}  // namespace
}  // namespace torvel
