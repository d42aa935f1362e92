#include "Services/BlockerTermination.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimProcessControl.h"

namespace torvel {
namespace {

constexpr std::uint32_t kUser = 1000;

SleepBlocker blocker(std::int32_t pid, std::string name, bool own = true) {
    return SleepBlocker{pid, std::move(name), "PreventSystemSleep", "", own, ""};
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

}  // namespace
}  // namespace torvel
