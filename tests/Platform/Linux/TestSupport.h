#pragma once

// Temporary folders, files, environment variables and child processes for the adapter tests, each
// put back or ended afterwards.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel::test {

/// A fresh folder under the temporary directory, removed with everything in it when the object goes.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const char* prefix = "torvel-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        // Tests may leave a folder read-only; its contents must still go.
        if (std::filesystem::exists(path_, ignored))
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
                if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
                    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    /// Empty when the folder could not be made.
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

/// Writes `text` to `path` exactly, making the folders above it.
inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

/// Writes an executable shell script with `body`.
inline std::string writeScript(const std::filesystem::path& path, const std::string& body) {
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path.string();
}

/// The whole file as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

/// Sets (or, for std::nullopt, removes) environment variables for the scope.
class ScopedEnv {
public:
    explicit ScopedEnv(const std::map<std::string, std::optional<std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }
    ScopedEnv(const std::string& name, std::optional<std::string> value)
        : ScopedEnv({{name, std::move(value)}}) {}
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

/// `program` (sleep, or a copy of it) running as `uid` when given (the test must be root for that);
/// returns once it has replaced the test's image, so the census reads its own name.
inline pid_t spawnSleeper(const std::filesystem::path& program = "/bin/sleep",
                          std::optional<uid_t> uid = std::nullopt) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid && (::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(99);
        ::execl(program.c_str(), program.filename().c_str(), "30", static_cast<char*>(nullptr));
        ::_exit(98);
    }
    const std::string comm = program.filename().string().substr(0, 15);
    for (int i = 0; i < 200; ++i) {
        if (ProcProcessInfo().identity(pid).value_or(ProcessInfo::Identity{}).comm == comm) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

/// How many error lines `log` caught.
inline int errorLines(const CapturingLogSink& log) {
    int count = 0;
    for (const auto& line : log.lines()) count += line.level == LogLevel::error;
    return count;
}

/// Kills and reaps `pid`; the signal that ended it (SIGKILL when it was still running), or -1.
inline int endSignal(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

}  // namespace torvel::test
