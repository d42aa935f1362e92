#include "Platform/Linux/Processes/PidfdProcessControl.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "Platform/Linux/Helpers/FileDescriptor.h"
#include "Platform/Linux/Processes/ProcProcessInfo.h"

namespace torvel {

namespace {

class PidfdProcess : public ProcessHandle {
public:
    PidfdProcess(FileDescriptor fd, std::int32_t pid, const std::filesystem::path& procRoot)
        : fd_(std::move(fd)), pid_(pid), info_(procRoot) {}

    std::string processName() override { return info_.processName(pid_); }
    std::optional<ProcessInfo::Identity> identity() override { return info_.identity(pid_); }
    bool isAlive() override { return send(0) == 0; }
    int terminate() override { return send(SIGTERM); }

private:
    int send(int signal) {
#ifdef SYS_pidfd_send_signal
        if (::syscall(SYS_pidfd_send_signal, fd_.get(), signal, nullptr, 0u) == 0) return 0;
        return errno;
#else
        (void)signal;
        return ENOSYS;
#endif
    }

    FileDescriptor fd_;
    std::int32_t pid_;
    ProcProcessInfo info_;
};

}  // namespace

std::unique_ptr<ProcessHandle> PidfdProcessControl::open(std::int32_t pid, int* error) {
    const auto fail = [&](int code) -> std::unique_ptr<ProcessHandle> {
        if (error) *error = code;
        return nullptr;
    };
    // 0 and negative pids address process groups or every process, never one process.
    if (pid <= 0) return fail(EINVAL);
#ifdef SYS_pidfd_open
    FileDescriptor fd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u)));
    if (fd.get() < 0) return fail(errno);
    return std::make_unique<PidfdProcess>(std::move(fd), pid, procRoot_);
#else
    return fail(ENOSYS);
#endif
}

}  // namespace torvel
