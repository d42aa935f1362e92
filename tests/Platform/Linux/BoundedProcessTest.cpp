#include "Platform/Linux/Helpers/BoundedProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

/// Small shell tools written into a temporary folder, removed with it.
class ToolFolder {
public:
    ToolFolder() {
        std::string pattern = (fs::temp_directory_path() / "torvel-tools-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    ~ToolFolder() { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& body) const {
        const fs::path path = dir_ / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
    std::string missing() const { return (dir_ / "no-such-tool").string(); }

private:
    fs::path dir_;
};

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

/// True when some child of this process has ended and was never reaped.
bool zombieLeft() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

constexpr const char* kCategory = "BoundedProcess";

TEST(BoundedProcess, ReturnsWhatFinishedToolsPrintAndRefusesTheRest) {
    ToolFolder tools;
    const auto line = tools.write("line", "printf '%s|%s\\n' \"$1\" \"$2\"; echo noise >&2");
    const auto failing = tools.write("failing", "echo nope; exit 1");
    const auto garbled = tools.write("garbled", "printf 'a\\377b'");
    const auto exact = tools.write("exact", "head -c 1048576 /dev/zero");
    const auto flood = tools.write("flood", "head -c 2097152 /dev/zero");
    const auto holder = tools.write("holder", "sleep 2 &\nexit 0");
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

        const auto replaced = runner.run(garbled, {}, 5);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(replaced->output,
                  "a\xEF\xBF\xBD"
                  "b");

        const auto full = runner.run(exact, {}, 5);
        ASSERT_TRUE(full);
        EXPECT_EQ(full->output.size(), ProcessRunner::outputCeiling);
        EXPECT_TRUE(log.lines().empty());

        EXPECT_FALSE(runner.run(flood, {}, 5));
        EXPECT_TRUE(log.contains(kCategory, flood + " wrote past the 1048576 byte ceiling — discarding"));

        EXPECT_FALSE(runner.run(tools.missing(), {}, 5));
        EXPECT_TRUE(
            log.contains(kCategory, tools.missing() + " failed to launch: No such file or directory"));

        EXPECT_FALSE(runner.run(holder, {}, 5));
        EXPECT_TRUE(log.contains(
            kCategory, holder + " exited but its output never reached EOF — discarding a partial read"));
        EXPECT_EQ(log.lines().size(), 3U);
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(zombieLeft());
}

TEST(BoundedProcess, TerminatesToolsThatOutliveTheTimeOutAndKillsThoseThatIgnoreIt) {
    ToolFolder tools;
    // Ignored signals stay ignored across exec, so the sleeper itself shrugs off SIGTERM.
    const auto polite = tools.write("polite", "exec sleep 30");
    const auto stubborn = tools.write("stubborn", "trap '' TERM\nexec sleep 30");
    CapturingLogSink log;
    const std::size_t before = openDescriptors();
    {
        BoundedProcess runner(log);
        EXPECT_FALSE(runner.run(polite, {}, 0.2));
        EXPECT_FALSE(runner.run(stubborn, {}, 0.2));
        // A nonsensical time-out is no time at all, not an endless wait.
        EXPECT_FALSE(runner.run(polite, {}, std::numeric_limits<double>::quiet_NaN()));
        EXPECT_TRUE(log.contains(kCategory, polite + " exceeded 0.200000 s — terminating"));
        EXPECT_TRUE(log.contains(kCategory, stubborn + " exceeded 0.200000 s — terminating"));
    }  // waits for the delayed kill
    EXPECT_FALSE(log.contains(kCategory, polite + " ignored SIGTERM"));
    EXPECT_TRUE(log.contains(kCategory, stubborn + " ignored SIGTERM — sending SIGKILL to pid "));
    EXPECT_EQ(log.lines().size(), 4U);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(zombieLeft());
}

}  // namespace
}  // namespace torvel
