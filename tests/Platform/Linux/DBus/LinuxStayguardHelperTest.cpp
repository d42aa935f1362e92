#include "Platform/Linux/Power/LinuxStayguardHelper.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>

#include <signal.h>
#include <unistd.h>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Linux/Power/LogindLidLock.h"
#include "Platform/Linux/Power/PolkitAuthority.h"
#include "Platform/Linux/Power/PowerProfilesDaemon.h"
#include "Platform/Sim/SimProcessRunner.h"
#include "Services/StayguardService.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
const QString kLogind = "org.freedesktop.login1", kPolkit = "org.freedesktop.PolicyKit1";
const QString kCallerLogind = QStringLiteral(TORVEL_DBUS_TEST_DIR "/logind_callers.py");
constexpr const char* kDaemon = "/usr/libexec/power-profiles-daemon";
constexpr const char* kChildBusVariable = "TORVEL_LID_LOCK_CHILD_BUS";

class LinuxStayguardHelperTest : public PrivateBusTest {
protected:
    // logind's lid locks as "who|mode|pid".
    std::vector<std::string> lidLocks() const {
        const auto reply = system().call(listInhibitorsCall(), QDBus::Block, 5000);
        std::vector<std::string> out;
        for (const auto& lock : inhibitorsFromReply(reply).value_or(std::vector<LogindInhibitor>{})) {
            if (lock.what == "handle-lid-switch")
                out.push_back(QString("%1|%2|%3").arg(lock.who, lock.mode).arg(lock.pid).toStdString());
        }
        return out;
    }
    static std::string ours(qint64 pid) { return "Torvel|block|" + std::to_string(pid); }

    // The real power-profiles-daemon on the private system bus, with polkit letting anyone hold and
    // switch profiles; its fake driver offers "performance" too, as a laptop would.
    void startDaemon() {
        ASSERT_TRUE(buses.startPolkit({{PolkitAuthority::kHoldProfileAction, "yes"},
                                       {"net.hadess.PowerProfiles.switch-profile", "yes"}}));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", buses.address(Bus::system));
        env.insert("POWER_PROFILE_DAEMON_FAKE_DRIVER", "1");
        daemon.setProcessEnvironment(env);
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.start(kDaemon, {});
        ASSERT_TRUE(daemon.waitForStarted(5000));
    }

    template <typename T>
    static T await(const std::function<void(std::function<void(T)>)>& ask) {
        return PrivateBuses::await<T>(ask);
    }

    QtScheduler scheduler;
    SimProcessRunner runner;
    struct Daemon : QProcess {
        ~Daemon() override {
            terminate();
            if (!waitForFinished(3000)) kill();
        }
    } daemon;
};

TEST_F(LinuxStayguardHelperTest, PolkitGrantsOnlyWhatItAllowsWithoutAPassword) {
    ASSERT_TRUE(buses.startPolkit({{PolkitAuthority::kLidSwitchAction, "yes"},
                                   {PolkitAuthority::kHoldProfileAction, "challenge"},
                                   {PolkitAuthority::kHoldProfileNewAction, "error"},
                                   {PolkitAuthority::kSuspendAction, "no"}}));
    PolkitAuthority authority(system());
    using Answer = std::optional<PowerGrants>;
    const auto first = await<Answer>([&](auto done) { authority.checkGrants(std::move(done)); });
    EXPECT_EQ(first, (PowerGrants{true, false, false}));

    // The process asked about is this one, named with its start time so a recycled pid cannot pass.
    const auto kinds = buses.call(Bus::system, kPolkit, "/org/freedesktop/PolicyKit1/Authority",
                                  "org.freedesktop.DBus.Mock", "SubjectKinds");
    const auto subject = kinds.arguments().value(0).toStringList().value(0).split(' ');
    ASSERT_EQ(subject.size(), 4);
    EXPECT_EQ(subject[0], "unix-process");
    EXPECT_EQ(subject[1].toLongLong(), ::getpid());
    EXPECT_GT(subject[2].toULongLong(), 0u);
    EXPECT_EQ(subject[3].toLongLong(), ::getuid());

    // The newer name of the power-saver action counts as well.
    ASSERT_TRUE(buses.setPolkitVerdicts({{PolkitAuthority::kLidSwitchAction, "yes"},
                                         {PolkitAuthority::kHoldProfileNewAction, "yes"},
                                         {PolkitAuthority::kSuspendAction, "yes"}}));
    EXPECT_EQ(authority.checkGrantsNow(), (PowerGrants{true, true, true}));

    // Where polkit is not there at all, nothing is known.
    PolkitAuthority nobody(session());
    EXPECT_EQ(await<Answer>([&](auto done) { nobody.checkGrants(std::move(done)); }), std::nullopt);
}

TEST_F(LinuxStayguardHelperTest, TheLidLockStandsOnItsOwnGrantAndLastsWhileItsHolderLives) {
    // Where power-profiles-daemon is not installed, polkit knows no hold action at all.
    ASSERT_TRUE(buses.startPolkit({{PolkitAuthority::kLidSwitchAction, "yes"},
                                   {PolkitAuthority::kHoldProfileAction, "error"},
                                   {PolkitAuthority::kHoldProfileNewAction, "error"},
                                   {PolkitAuthority::kSuspendAction, "no"}}));
    ASSERT_TRUE(buses.startTemplate(Bus::system, kCallerLogind, kLogind));
    PowerProfilesDaemon profiles(system(), log);
    LinuxStayguardHelper power(system(), profiles, runner, scheduler, log, "user");
    StayguardService stayguard(power, log);
    runner.enqueueResult(ProcessResult{0, {}});  // pkexec wrote the rule
    const auto result = await<StayguardInstallResult>([&](auto done) { stayguard.install(std::move(done)); });
    EXPECT_EQ(result.kind, StayguardInstallResult::Kind::success) << result.message;
    EXPECT_EQ(runner.commands().size(), 1u) << "the rule is kept, not removed again";
    EXPECT_EQ(stayguard.grants(), (PowerGrants{true, false, false, true}));

    stayguard.setLidLock(true);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return stayguard.lidLockHeld() == true; }));
    EXPECT_EQ(lidLocks(), std::vector<std::string>{ours(::getpid())});
    EXPECT_TRUE(await<bool>([&](auto done) { power.setLidLock(false, std::move(done)); }));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return lidLocks().empty(); }));

    // A Torvel that dies holding the lock takes it with it.
    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildBusVariable, buses.address(Bus::system));
    child.setProcessEnvironment(env);
    child.start(
        QCoreApplication::applicationFilePath(),
        {"--gtest_also_run_disabled_tests", "--gtest_filter=LidLockChild.DISABLED_HoldsTheLockUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(5000));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return child.readAllStandardOutput().contains("held"); }, 10000));
    EXPECT_EQ(lidLocks(), std::vector<std::string>{ours(child.processId())});
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    child.waitForFinished(5000);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return lidLocks().empty(); }));
}

// Run only as the child of the test above.
TEST(LidLockChild, DISABLED_HoldsTheLockUntilKilled) {
    const QString address = qEnvironmentVariable(kChildBusVariable);
    ASSERT_FALSE(address.isEmpty());
    CapturingLogSink log;
    LogindLidLock lock(QDBusConnection::connectToBus(address, "child-system"), log);
    bool taken = false;
    lock.take("test", [&](bool ok) { taken = ok; });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return taken; }));
    std::printf("held\n");
    std::fflush(stdout);
    PrivateBuses::waitFor([] { return false; }, 60000);
}

TEST_F(LinuxStayguardHelperTest, TheSuspendVetoIsLogindsCanSuspendAsItStands) {
    // Another user's lock is logind's to weigh (with the ignore-inhibit grant): "yes" is a yes.
    ASSERT_TRUE(buses.logindInhibitors("[('sleep', 'other', 'why', 'block', 4242, 1)]"));
    PowerProfilesDaemon profiles(system(), log);
    LinuxStayguardHelper power(system(), profiles, runner, scheduler, log, "user");
    using Answer = std::optional<SuspendAnswer>;
    const std::pair<const char*, Answer> cases[] = {{"'yes'", SuspendAnswer::yes},
                                                    {"'challenge'", SuspendAnswer::challenge},
                                                    {"'no'", SuspendAnswer::no},
                                                    {"'na'", SuspendAnswer::no},
                                                    {"'maybe'", std::nullopt}};
    for (const auto& [canSuspend, answer] : cases) {
        ASSERT_TRUE(buses.logindMethod("CanSuspend", "", "s", QString("ret = %1").arg(canSuspend)));
        EXPECT_EQ(await<Answer>([&](auto done) { power.readSuspendVetoed(std::move(done)); }), answer)
            << canSuspend;
    }
}

TEST_F(LinuxStayguardHelperTest, TheRealDaemonHoldsThePowerSaverUntilItsHolderLeavesOrTheUserPicksAProfile) {
    if (!QFile::exists(kDaemon)) GTEST_SKIP() << "power-profiles-daemon is not installed";
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    PowerProfilesDaemon profiles(system(), log);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return profiles.isEnabled() == false; }, 10000));

    // The holder has its own connection, as another Torvel would.
    const QString holderName = "torvel-power-saver-holder";
    auto holder = std::make_unique<PowerProfilesDaemon>(
        QDBusConnection::connectToBus(buses.address(Bus::system), holderName), log);
    EXPECT_TRUE(await<bool>([&](auto done) { holder->hold("test", std::move(done)); }));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return profiles.isEnabled() == true; }));
    holder.reset();
    QDBusConnection::disconnectFromBus(holderName);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return profiles.isEnabled() == false; }));

    // Our own hold, dropped by the daemon when the user picks a profile.
    LinuxStayguardHelper power(system(), profiles, runner, scheduler, log, "user");
    StayguardService stayguard(power, log);
    int drops = 0;
    Connection dropped = stayguard.powerSaverDropped.connect([&] { ++drops; });

    std::optional<bool> held;
    stayguard.setLowPowerMode(true, [&](bool ok) { held = ok; });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return held.has_value() && profiles.isEnabled() == true; }));
    ASSERT_TRUE(*held);

    // The user picks a profile, from the desktop's own menu: the daemon drops every hold.
    const auto picked = BusPeer(buses, Bus::system, "the-user")
                            .call(PowerProfilesDaemon::kService, PowerProfilesDaemon::kPath,
                                  "org.freedesktop.DBus.Properties", "Set",
                                  {QString("net.hadess.PowerProfiles"), QString("ActiveProfile"),
                                   QVariant::fromValue(QDBusVariant(QString("performance")))});
    ASSERT_EQ(picked.type(), QDBusMessage::ReplyMessage) << picked.errorMessage().toStdString();
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return drops == 1; }));
    EXPECT_FALSE(profiles.holding());
    EXPECT_EQ(stayguard.lastLowPowerMode(), false) << "a dropped hold is released, not failed";

    // The next close asks again, and the daemon holds it again.
    held.reset();
    stayguard.setLowPowerMode(true, [&](bool ok) { held = ok; });
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return held == true && profiles.isEnabled() == true; }));
    std::optional<bool> released;
    stayguard.setLowPowerMode(false, [&](bool ok) { released = ok; });
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return released == true && profiles.isEnabled() == false; }));
}

}  // namespace
}  // namespace torvel
