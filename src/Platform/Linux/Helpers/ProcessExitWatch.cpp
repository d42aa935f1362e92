#include "Platform/Linux/Helpers/ProcessExitWatch.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <utility>

#include "Support/Lifetime.h"

namespace torvel {

namespace {

// One callback when a pidfd becomes readable, which it does when the process ends.
class PidfdWatch : public ProcessWatch {
public:
    PidfdWatch(int fd, std::function<void()> onExit)
        : fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read)), onExit_(std::move(onExit)) {
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { fired(); });
    }
    ~PidfdWatch() override {
        notifier_->setEnabled(false);
        QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
        // Inside its own signal the notifier is still in use: let the event loop delete it.
        if (firing_) {
            notifier_->deleteLater();
        } else {
            delete notifier_;
        }
        ::close(fd_);
    }
    PidfdWatch(const PidfdWatch&) = delete;
    PidfdWatch& operator=(const PidfdWatch&) = delete;

private:
    void fired() {
        notifier_->setEnabled(false);
        if (!onExit_) return;
        const auto onExit = std::move(onExit_);
        onExit_ = nullptr;
        const auto alive = lifetime_.watch();
        firing_ = true;
        onExit();  // may destroy this watch
        if (!alive.expired()) firing_ = false;
    }

    int fd_;
    QSocketNotifier* notifier_;
    std::function<void()> onExit_;
    bool firing_ = false;
    Lifetime lifetime_;
};

// Without pidfd_open: asks the kernel every kProcessExitPollSeconds whether the process is still there.
class PollingWatch : public ProcessWatch {
public:
    PollingWatch(Scheduler& scheduler, std::int32_t pid, std::function<void()> onExit)
        : pid_(pid), onExit_(std::move(onExit)) {
        poll_ = scheduler.every(kProcessExitPollSeconds, [this] { check(); });
    }

private:
    void check() {
        if (::kill(pid_, 0) == 0 || errno != ESRCH) return;
        const auto onExit = std::move(onExit_);
        onExit_ = nullptr;
        poll_.reset();
        if (onExit) onExit();  // may destroy this watch: nothing of it is touched after
    }

    std::int32_t pid_;
    std::function<void()> onExit_;
    Timer poll_;
};

}  // namespace

std::unique_ptr<ProcessWatch> watchProcessExit(Scheduler& scheduler, Logger& log, std::int32_t pid,
                                               std::function<void()> onExit, bool usePidfd) {
    if (pid < 1 || !onExit) return nullptr;
#ifdef SYS_pidfd_open
    if (usePidfd) {
        const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u);
        if (fd >= 0) return std::make_unique<PidfdWatch>(static_cast<int>(fd), std::move(onExit));
        if (errno == ESRCH || errno == EINVAL) return nullptr;  // no such process (or not one we can name)
        log.info("pidfd_open failed ({}); polling process {} for its exit", std::strerror(errno), pid);
    }
#else
    (void)usePidfd;
    (void)log;
#endif
    if (::kill(pid, 0) != 0 && errno == ESRCH) return nullptr;
    return std::make_unique<PollingWatch>(scheduler, pid, std::move(onExit));
}

}  // namespace torvel
