#include "Platform/Linux/Desktop/TimerfdWallClockChanges.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace torvel {

namespace {
// About a hundred years after the epoch's 2^31 limit: far enough never to expire, small enough for any
// 64-bit time_t the kernel accepts.
constexpr std::time_t kFarFuture = std::time_t{1} << 33;
}  // namespace

TimerfdWallClockChanges::TimerfdWallClockChanges(LogSink& log) : log_(log, "WallClockChanges") {
    fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) {
        log_.error("timerfd_create failed ({}): clock changes go unnoticed", std::strerror(errno));
        return;
    }
    if (!arm()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readable(); });
}

TimerfdWallClockChanges::~TimerfdWallClockChanges() {
    notifier_.reset();  // before the descriptor it watches
    if (fd_ >= 0) ::close(fd_);
}

bool TimerfdWallClockChanges::setOnChange(std::function<void()> onChange) {
    onChange_ = fd_ >= 0 ? std::move(onChange) : nullptr;
    return fd_ >= 0;
}

bool TimerfdWallClockChanges::arm() {
    itimerspec spec{};
    spec.it_value.tv_sec = kFarFuture;
    if (::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) != 0) {
        log_.error("timerfd_settime failed ({}): clock changes go unnoticed", std::strerror(errno));
        return false;
    }
    return true;
}

void TimerfdWallClockChanges::readable() {
    std::uint64_t expirations = 0;
    const ssize_t got = ::read(fd_, &expirations, sizeof expirations);
    if (got < 0 && errno == EAGAIN) return;  // woken for nothing
    // ECANCELED is the clock being set; an expiry (it cannot come for a century) is re-armed the same
    // way. A cancelled timer stays cancelled until armed again.
    const bool clockWasSet = got < 0 && errno == ECANCELED;
    if (got < 0 && !clockWasSet) {
        log_.error("Reading the clock-change descriptor failed ({}): clock changes go unnoticed",
                   std::strerror(errno));
        notifier_->setEnabled(false);  // a descriptor that keeps failing would spin the main loop
        return;
    }
    if (!arm()) {
        notifier_->setEnabled(false);
        return;
    }
    if (!clockWasSet) return;
    log_.info("The wall clock was set");
    const auto callback = onChange_;  // it may replace itself while it runs
    if (callback) callback();
}

}  // namespace torvel
