#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Processes/ProcWorkspace.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSystemLocale.h"

extern char** environ;

namespace torvel {
namespace {

pid_t spawnSleeper() {
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    EXPECT_EQ(posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ), 0);
    return pid;
}

void end(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Exit watches on the real event loop, through pidfd_open where the kernel has it.
TEST(ProcessWatch, CallsBackOnceWhenTheProcessEndsAndNeverAfterTheWatchIsGone) {
    if (const long probe = syscall(SYS_pidfd_open, getpid(), 0u); probe >= 0) {
        close(static_cast<int>(probe));
    } else {
        GTEST_SKIP() << "this kernel has no pidfd_open; the polling fallback is tested on its own";
    }
    QtScheduler scheduler;
    SimSystemLocale locale;
    CapturingLogSink log;
    ProcWorkspace workspace(scheduler, locale, log, {.applicationFolders = {"/nonexistent"}});

    const pid_t watched = spawnSleeper(), dropped = spawnSleeper();
    int exits = 0, droppedExits = 0;
    std::unique_ptr<ProcessWatch> watch;
    // The consumer drops its watch from inside the callback, as the process trigger does.
    watch = workspace.watchExit(watched, [&] {
        ++exits;
        watch.reset();
    });
    auto droppedWatch = workspace.watchExit(dropped, [&] { ++droppedExits; });
    ASSERT_NE(watch, nullptr);
    ASSERT_NE(droppedWatch, nullptr);
    EXPECT_FALSE(PrivateBuses::waitFor([&] { return exits > 0; }, 100)) << "fired while the process runs";

    droppedWatch.reset();
    kill(dropped, SIGKILL);
    kill(watched, SIGKILL);  // not reaped yet: the watch sees the exit, not the reaping
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return exits > 0; }));
    EXPECT_EQ(watch, nullptr);
    EXPECT_FALSE(PrivateBuses::waitFor([&] { return exits > 1 || droppedExits > 0; }, 200));
    end(watched);
    end(dropped);

    EXPECT_EQ(workspace.watchExit(watched, [] {}), nullptr) << "a process that has gone";
    EXPECT_EQ(workspace.watchExit(-4, [] {}), nullptr);
    EXPECT_TRUE(log.lines().empty()) << "no fallback needed on this kernel";
}

}  // namespace
}  // namespace torvel
