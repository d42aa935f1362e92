#include <gtest/gtest.h>
#include <sys/syscall.h>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Processes/ProcWorkspace.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSystemLocale.h"

namespace torvel {
namespace {

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

    const pid_t watched = test::spawnSleeper(), dropped = test::spawnSleeper();
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
    test::endSignal(watched);
    test::endSignal(dropped);

    EXPECT_EQ(workspace.watchExit(watched, [] {}), nullptr) << "a process that has gone";
    EXPECT_EQ(workspace.watchExit(-4, [] {}), nullptr);
    EXPECT_TRUE(log.lines().empty()) << "no fallback needed on this kernel";
}

}  // namespace
}  // namespace torvel
