#include "Platform/Linux/Helpers/BoundedProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sstream>

#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using test::errorLines;

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

/// True when some child of this process has ended and was never reaped.
bool zombieLeft() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

bool gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

TEST(BoundedProcess, ReturnsWhatFinishedToolsPrintAndRefusesTheRest) {
    const test::TemporaryFolder tools;
    const auto line = test::writeScript(tools / "line", "printf '%s|%s\\n' \"$1\" \"$2\"; echo noise >&2");
    const auto failing = test::writeScript(tools / "failing", "echo nope; exit 1");
    const auto garbled = test::writeScript(tools / "garbled", "printf 'a\\377b'");
    const auto exact = test::writeScript(tools / "exact", "head -c 1048576 /dev/zero");
    const auto flood = test::writeScript(tools / "flood", "head -c 2097152 /dev/zero");
    const auto holder = test::writeScript(tools / "holder", "sleep 2 &\nexit 0");
    CapturingLogSink log;
    const std::size_t before = openDescriptors();
    {
        BoundedProcess runner(log);

        const auto printed = runner.run(line, {"-g", "two words"}, 5);
        ASSERT_TRUE(printed);
        EXPECT_EQ(printed->status, 0);
        EXPECT_EQ(printed->output, "-g|two words\n");  // standard error is not mixed in

        const auto failed = runner.run(failing, {}, 5);
        ASSERT_TRUE(failed);  // a non-zero status is still a result
        EXPECT_EQ(failed->status, 1);
        EXPECT_EQ(failed->output, "nope\n");

        EXPECT_EQ(runner.run(garbled, {}, 5).value_or(ProcessResult{}).output,
                  "a\xEF\xBF\xBD"
                  "b");
        EXPECT_EQ(runner.run(exact, {}, 5).value_or(ProcessResult{}).output.size(),
                  ProcessRunner::outputCeiling);
        EXPECT_EQ(errorLines(log), 0);

        // Past the ceiling, never started, or output held open by a child it left: no result, and
        // one error line each.
        EXPECT_FALSE(runner.run(flood, {}, 5));
        EXPECT_FALSE(runner.run((tools / "no-such-tool").string(), {}, 5));
        EXPECT_FALSE(runner.run(holder, {}, 5));
        EXPECT_EQ(errorLines(log), 3);
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(zombieLeft());
}

TEST(BoundedProcess, TerminatesToolsThatOutliveTheTimeOutAndKillsThoseThatIgnoreIt) {
    const test::TemporaryFolder tools;
    // The polite tool notes the SIGTERM it heard; the stubborn one ignores it (ignored signals stay
    // ignored across exec, so the sleeper itself shrugs it off). Each notes its pid first.
    const auto pids = (tools / "pids").string(), heard = (tools / "heard").string();
    const auto polite =
        test::writeScript(tools / "polite", "echo $$ >>" + pids + "\ntrap 'echo TERM >>" + heard +
                                                "; exit 0' TERM\n" + "while :; do sleep 0.05; done");
    const auto stubborn =
        test::writeScript(tools / "stubborn", "echo $$ >>" + pids + "\ntrap '' TERM\nexec sleep 30");
    CapturingLogSink log;
    const std::size_t before = openDescriptors();
    {
        BoundedProcess runner(log);
        EXPECT_FALSE(runner.run(polite, {}, 0.2));
        EXPECT_FALSE(runner.run(stubborn, {}, 0.2));
        // A nonsensical time-out is no time at all, not an endless wait.
        EXPECT_FALSE(runner.run(test::writeScript(tools / "sleeper", "exec sleep 30"), {},
                                std::numeric_limits<double>::quiet_NaN()));
    }  // waits for the delayed kill
    std::istringstream started(test::readFile(pids));
    int count = 0;
    for (pid_t pid = 0; started >> pid; ++count) EXPECT_TRUE(gone(pid)) << pid;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(test::readFile(heard), "TERM\n") << "the polite tool was asked, not killed";
    // Three time-outs and one SIGKILL, a line each.
    EXPECT_EQ(errorLines(log), 4);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(zombieLeft());
}

}  // namespace
}  // namespace torvel
