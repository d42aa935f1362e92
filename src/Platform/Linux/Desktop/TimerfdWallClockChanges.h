#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "Platform/Log.h"
#include "Platform/WallClockChanges.h"

namespace torvel {

/// Wall-clock changes from the kernel: a CLOCK_REALTIME timerfd armed far in the future with
/// TFD_TIMER_CANCEL_ON_SET is cancelled (its read fails with ECANCELED) whenever the clock is set. The
/// descriptor is watched by the main loop, so this costs no wake-up until the clock really changes.
class TimerfdWallClockChanges : public QObject, public WallClockChanges {
    Q_OBJECT

public:
    /// Creates and arms the descriptor at once; on failure the setter returns false (and the log says why).
    explicit TimerfdWallClockChanges(LogSink& log);
    ~TimerfdWallClockChanges() override;

    bool setOnChange(std::function<void()> onChange) override;

private:
    bool arm();
    void readable();

    Logger log_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onChange_;
};

}  // namespace torvel
