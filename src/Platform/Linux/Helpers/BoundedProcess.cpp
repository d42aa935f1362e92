#include "Platform/Linux/Helpers/BoundedProcess.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/Linux/Helpers/FileDescriptor.h"
#include "Platform/Linux/Helpers/OutputBox.h"

extern char** environ;

namespace torvel {

struct BoundedProcess::Pending : LogSink {
    explicit Pending(LogSink& target) : sink(target) {}
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        const std::lock_guard guard(logLock);
        sink.write(level, category, message);
    }
    bool revealsPrivate() const override { return sink.revealsPrivate(); }

    LogSink& sink;
    std::mutex logLock;
    std::mutex lock;
    std::condition_variable settled;
    int kills = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

void pidfdSignal(int pidfd, int signal) {
    ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
}

/// Milliseconds left until `deadline`, rounded up so a poll never wakes just short of it.
int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

/// `seconds` from now; a nonsensical span (negative, not a number) is none, and a vast one a day, so
/// the conversion to clock ticks can never overflow.
Clock::time_point after(double seconds) {
    const double bounded = seconds > 0 ? std::min(seconds, 86400.0) : 0.0;
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

/// Waits until the pidfd says the child has ended, or the deadline passes.
bool waitForExit(int pidfd, Clock::time_point deadline) {
    pollfd watch{pidfd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, millisecondsUntil(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

/// Collects the child's zombie; its status as the exit code or the signal that ended it.
std::optional<std::int32_t> reap(pid_t pid) {
    int status = 0;
    if (retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) != pid) return std::nullopt;
    if (WIFSIGNALED(status)) return WTERMSIG(status);
    return WEXITSTATUS(status);
}

/// Reads one chunk into `box`; false once there is nothing more to read (end of output, a read
/// error, or the ceiling passed).
bool readChunk(int fd, OutputBox& box) {
    char chunk[65536];
    const ssize_t got = retryOnInterrupt([&] { return ::read(fd, chunk, sizeof chunk); });
    if (got <= 0) return false;
    box.append({chunk, static_cast<std::size_t>(got)});
    return !box.overflowed();
}

/// Starts `path` with its standard output on `output`; the pid, or the errno of the failure.
std::pair<pid_t, int> spawn(const std::string& path, const std::vector<std::string>& arguments, int output) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Descriptors some library opened without close-on-exec must not reach the tool either.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    // The tool starts with the default dispositions and no blocked signals, whatever this process
    // chose for itself (an ignored SIGPIPE would let a tool write on into a closed pipe).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int failure = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return {pid, failure};
}

/// Sends SIGTERM now and, from a thread of its own, SIGKILL once the grace has passed with the tool
/// still alive; the thread reaps the tool either way. Signals go through the pidfd, so a recycled pid
/// is never hit.
void terminate(const std::shared_ptr<BoundedProcess::Pending>& pending, FileDescriptor pidfd, pid_t pid,
               const std::string& path) {
    pidfdSignal(pidfd.get(), SIGTERM);
    {
        const std::lock_guard guard(pending->lock);
        ++pending->kills;
    }
    const auto settle = [pending] {
        const std::lock_guard guard(pending->lock);
        --pending->kills;
        pending->settled.notify_all();
    };
    auto kill = [pending, settle, path, pid, fd = std::move(pidfd)]() mutable {
        if (!waitForExit(fd.get(), after(ProcessRunner::terminationGraceSeconds))) {
            Logger(*pending, "BoundedProcess")
                .error("{} ignored SIGTERM — sending SIGKILL to pid {}", path, pid);
            pidfdSignal(fd.get(), SIGKILL);
        }
        reap(pid);
        // Closed before the runner may go: its owner counts descriptors once it is gone.
        fd.close();
        settle();
    };
    try {
        std::thread(std::move(kill)).detach();
    } catch (const std::system_error&) {
        // No thread to wait on: kill at once rather than leave the tool running or unreaped.
        ::kill(pid, SIGKILL);
        reap(pid);
        settle();
    }
}

}  // namespace

BoundedProcess::BoundedProcess(LogSink& sink)
    : pending_(std::make_shared<Pending>(sink)), log_(*pending_, "BoundedProcess") {}

BoundedProcess::~BoundedProcess() {
    std::unique_lock guard(pending_->lock);
    pending_->settled.wait(guard, [this] { return pending_->kills == 0; });
}

std::optional<ProcessResult> BoundedProcess::run(const std::string& path,
                                                 const std::vector<std::string>& arguments,
                                                 double timeoutSeconds) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        log_.error("{} failed to launch: {}", path, std::strerror(errno));
        return std::nullopt;
    }
    FileDescriptor output(ends[0]);
    FileDescriptor input(ends[1]);
    const auto [pid, failure] = spawn(path, arguments, input.get());
    // Only the tool (and whatever it starts) may hold the writing end, so its exit shows as the end of
    // output.
    input.close();
    if (failure != 0) {
        log_.error("{} failed to launch: {}", path, std::strerror(failure));
        return std::nullopt;
    }
    const pid_t child = pid;
    FileDescriptor pidfd(pidfdOpen(child));
    if (pidfd.get() < 0) {
        // Without a pidfd there is no way to wait with a bound; never leave the tool running unwatched.
        log_.error("{} failed to launch: {}", path, std::strerror(errno));
        ::kill(child, SIGKILL);
        reap(child);
        return std::nullopt;
    }

    OutputBox box(outputCeiling);
    const auto deadline = after(timeoutSeconds);
    bool exited = false;
    bool reading = true;
    while (!exited) {
        pollfd watch[2] = {{pidfd.get(), POLLIN, 0}, {reading ? output.get() : -1, POLLIN, 0}};
        const int ready = ::poll(watch, 2, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (watch[0].revents != 0) exited = true;
        if (reading && watch[1].revents != 0 && !readChunk(output.get(), box)) {
            reading = false;
            // Past the ceiling the tool meets a closed pipe rather than a full one it would wait on.
            output.close();
        }
    }
    if (!exited) {
        log_.error("{} exceeded {:f} s — terminating", path, timeoutSeconds);
        if (reading) output.close();
        terminate(pending_, std::move(pidfd), child, path);
        return std::nullopt;
    }

    const auto status = reap(child);
    const auto endOfOutput = after(endOfOutputGraceSeconds);
    while (reading) {
        pollfd watch{output.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, millisecondsUntil(endOfOutput));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            log_.error("{} exited but its output never reached EOF — discarding a partial read", path);
            return std::nullopt;
        }
        reading = readChunk(output.get(), box);
    }
    if (box.overflowed()) {
        log_.error("{} wrote past the {} byte ceiling — discarding rather than parsing what fit", path,
                   outputCeiling);
        return std::nullopt;
    }
    if (!status) {
        log_.error("{} exited but its status could not be collected", path);
        return std::nullopt;
    }
    const std::string bytes = box.data();
    return ProcessResult{*status,
                         QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString()};
}

}  // namespace torvel
