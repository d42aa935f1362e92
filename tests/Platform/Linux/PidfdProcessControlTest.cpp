#include "Platform/Linux/Processes/PidfdProcessControl.h"

#include <gtest/gtest.h>

#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Services/BlockerTermination.h"

namespace torvel {
namespace {

using test::endSignal;

// What the census records of a process.
SleepBlocker censused(pid_t pid, BlockerKind kind = BlockerKind::systemSleep) {
    const auto identity = ProcProcessInfo().identity(pid);
    return SleepBlocker{pid, "sleep", kind, "", true, "sleep", identity ? identity->startTime : std::nullopt};
}

TEST(PidfdProcessControlTest, TerminatesRealProcessesOfThisUserOnlyAndNeverAReapedOrRecycledPid) {
    CapturingLogSink sink;
    Logger log(sink, "EmergencySleep");
    PidfdProcessControl control;
    // Root terminates nothing, so as root the blockers belong to nobody (65534) and the test acts as them.
    const bool root = ::getuid() == 0;
    const std::optional<uid_t> as = root ? std::optional<uid_t>(65534) : std::nullopt;
    const auto user = static_cast<std::uint32_t>(as.value_or(::getuid()));

    const pid_t first = test::spawnSleeper("/bin/sleep", as), second = test::spawnSleeper("/bin/sleep", as);
    const pid_t reaped = test::spawnSleeper("/bin/sleep", as),
                restarted = test::spawnSleeper("/bin/sleep", as);
    auto reapedBlocker = censused(reaped);
    EXPECT_EQ(endSignal(reaped), SIGKILL);                  // gone (and reaped) before the action
    const pid_t foreign = root ? test::spawnSleeper() : 0;  // root's, not the acting user's

    std::vector<SleepBlocker> blockers{censused(first), censused(first, BlockerKind::idle), censused(second),
                                       reapedBlocker, censused(restarted)};
    ASSERT_TRUE(blockers.back().startTime);
    // Another `sleep` of the same user on the same pid, started after the census.
    *blockers.back().startTime += 1;
    // The census may be wrong about the owner; the re-check before the signal is not.
    if (root) blockers.push_back(censused(foreign));

    const auto signalled = terminateBlockers(blockers, control, user, log);
    std::vector<std::int32_t> expected{std::min(first, second), std::max(first, second)};
    EXPECT_EQ(signalled, expected);
    EXPECT_EQ(endSignal(first), SIGTERM);
    EXPECT_EQ(endSignal(second), SIGTERM);
    EXPECT_EQ(endSignal(restarted), SIGKILL);  // never sent SIGTERM: not the process censused
    if (root) {
        EXPECT_EQ(endSignal(foreign), SIGKILL);
    }

    int error = 0;
    EXPECT_EQ(control.open(0, &error), nullptr);
    EXPECT_EQ(error, EINVAL);
}

}  // namespace
}  // namespace torvel
