#include "Platform/Linux/Processes/PidfdProcessControl.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Services/BlockerTermination.h"

namespace torvel {
namespace {

// A child running `sleep`, as `uid` when given (the test must run as root for that).
pid_t spawnSleeper(std::optional<uid_t> uid = std::nullopt) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid && (::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(99);
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(98);
    }
    // Until exec has happened the child still shows this test's name.
    for (int i = 0; i < 200; ++i) {
        if (ProcProcessInfo().identity(pid).value_or(ProcessInfo::Identity{}).comm == "sleep") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

int endSignal(pid_t pid) {
    ::kill(pid, SIGKILL);  // harmless when SIGTERM already ended it
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

// What the census records of a process.
SleepBlocker censused(pid_t pid, BlockerKind kind = BlockerKind::systemSleep) {
    const auto identity = ProcProcessInfo().identity(pid);
    return SleepBlocker{pid, "sleep", kind, "", true, "sleep",
                        identity ? identity->startTime : std::nullopt};
}

TEST(PidfdProcessControlTest, TerminatesRealProcessesOfThisUserOnlyAndNeverAReapedOrRecycledPid) {
    CapturingLogSink sink;
    Logger log(sink, "EmergencySleep");
    PidfdProcessControl control;
    // Root terminates nothing, so as root the blockers belong to nobody (65534) and the test acts as them.
    const bool root = ::getuid() == 0;
    const std::optional<uid_t> as = root ? std::optional<uid_t>(65534) : std::nullopt;
    const auto user = static_cast<std::uint32_t>(as.value_or(::getuid()));

    const pid_t first = spawnSleeper(as);
    const pid_t second = spawnSleeper(as);
    const pid_t reaped = spawnSleeper(as);
    const pid_t restarted = spawnSleeper(as);
    auto reapedBlocker = censused(reaped);
    EXPECT_EQ(endSignal(reaped), SIGKILL);  // gone (and reaped) before the action
    const pid_t foreign = root ? spawnSleeper() : 0;  // root's, not the acting user's

    std::vector<SleepBlocker> blockers{censused(first), censused(first, BlockerKind::idle),
                                       censused(second), reapedBlocker, censused(restarted)};
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
    EXPECT_EQ(endSignal(restarted), SIGKILL);
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid " + std::to_string(reaped) + " is no longer sleep"));
    EXPECT_TRUE(sink.contains("EmergencySleep", "pid " + std::to_string(restarted) + " is no longer sleep"));
    if (root) {
        EXPECT_EQ(endSignal(foreign), SIGKILL);
    }

    int error = 0;
    EXPECT_EQ(control.open(0, &error), nullptr);
    EXPECT_EQ(error, EINVAL);
}

}  // namespace
}  // namespace torvel
