#include "Services/BlockerTermination.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimProcessControl.h"
#include "Platform/Sim/SimSleepBlockers.h"

namespace torvel {
namespace {

constexpr std::uint32_t kUser = 1000;

SleepBlocker blocker(std::int32_t pid, std::string name, bool own = true) {
    return SleepBlocker{pid, std::move(name), BlockerKind::systemSleep, "", own, "", simStartTime(pid)};
}

TEST(BlockerTerminationTest, SignalsOnlyThisUsersOrdinaryProcessesOnceEachAfterRecheckingThem) {
    CapturingLogSink sink;
    Logger log(sink, "EmergencySleep");
    SimProcessControl control;
    control.addProcess(30, "backup", kUser);
    control.addProcess(12, "player", kUser);
    control.addProcess(40, "other", 0);
    control.addProcess(50, "gnome-shell", kUser);
    control.addProcess(60, "renamed", kUser);
    control.addProcess(70, "stubborn", kUser);
    control.addProcess(80, "racer", kUser);
    control.failTerminate(70, EPERM);
    control.recycleAfterOpen(80, "racer");  // the same name, but a newer process by now

    const auto signalled = terminateBlockers(
        {blocker(30, "backup"), blocker(30, "backup"), blocker(30, "backup"),  // three locks, one signal
         blocker(12, "player"),
         blocker(40, "other", false),  // another user's
         blocker(50, "gnome-shell"),   // the session itself
         blocker(60, "old-name"),      // the pid now belongs to another program
         blocker(65, "exited"),        // gone before the action
         blocker(70, "stubborn"), blocker(80, "racer"), blocker(0, "broadcast"), blocker(90, "")},
        control, kUser, log);

    EXPECT_EQ(signalled, (std::vector<std::int32_t>{12, 30}));
    EXPECT_EQ(control.terminated(), signalled);
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 60 is no longer old-name"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 65 is no longer exited"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 80 is no longer racer"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "SIGTERM to pid 70 failed: errno " + std::to_string(EPERM)));

    sink.clear();
    EXPECT_TRUE(terminateBlockers({blocker(40, "other", false)}, control, kUser, log).empty());
    EXPECT_TRUE(sink.lines().empty());
}

TEST(BlockerTerminationTest, NeverSignalsTheSessionANewerProcessOnTheSamePidOrAnythingAsRoot) {
    CapturingLogSink sink;
    Logger log(sink, "EmergencySleep");
    SimProcessControl control;
    for (std::int32_t pid = 20; pid <= 26; ++pid) control.addProcess(pid, "worker", kUser);
    control.addProcess(20, "cinnamon-session", kUser);
    control.setStartTime(22, 7);             // another "worker" of this user took the pid since the census
    control.setStartTime(23, std::nullopt);  // its start time cannot be read now
    auto relay = blocker(21, "worker");
    relay.isSessionRelay = true;             // owns the session's inhibit name on the bus
    auto unknownStart = blocker(24, "worker");
    unknownStart.startTime.reset();
    auto cutName = blocker(26, "sessiond");
    cutName.commName = "budgie-session-";

    const auto signalled = terminateBlockers({blocker(20, "cinnamon-session"), relay, blocker(22, "worker"),
                                              blocker(23, "worker"), unknownStart, blocker(25, "worker"), cutName},
                                             control, kUser, log);
    EXPECT_EQ(signalled, (std::vector<std::int32_t>{25}));
    EXPECT_EQ(control.terminated(), signalled);
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 22 is no longer worker"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 23 (worker): start time unreadable"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid 24 (worker): start time unreadable"));

    // As root every system daemon would pass as "this user's": nothing is signalled, and the log says why.
    control.addProcess(30, "packagekitd", 0);
    EXPECT_TRUE(terminateBlockers({blocker(30, "packagekitd")}, control, 0, log).empty());
    EXPECT_EQ(control.terminated(), signalled);
    EXPECT_TRUE(sink.contains("EmergencySleep", "running as root — not terminating 1 blocker(s)"));
}

}  // namespace
}  // namespace torvel
