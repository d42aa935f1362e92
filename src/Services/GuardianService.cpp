#include "Services/GuardianService.h"

#include <algorithm>

namespace torvel {

void GuardianService::startWatching(std::int64_t hours) {
    stopWatching();
    activationDate_ = clock_.now();
    const double seconds = static_cast<double>(std::clamp<std::int64_t>(hours, kMinHours, kMaxHours)) * 3600.0;
    timer_ = scheduler_.after(seconds, [this] { fireReminder(); });
}

void GuardianService::stopWatching() {
    timer_.reset();
    activationDate_.reset();
}

void GuardianService::fireReminder() {
    std::int64_t hoursActive = 0;
    if (activationDate_) {
        const double elapsed = clock_.now().secondsSince(*activationDate_) / 3600.0;
        hoursActive = std::max<std::int64_t>(1, static_cast<std::int64_t>(elapsed));
    }
    // Re-arm before telling anyone: the callback may stop the watch.
    timer_ = scheduler_.after(kRecurrenceSeconds, [this] { fireReminder(); });
    reminder.emit(hoursActive);
}

}  // namespace torvel
