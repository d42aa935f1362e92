#include "Monitors/BatteryMonitor.h"

#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace torvel {

namespace {

// 2^63, exactly representable: a double below it converts to int64 without overflow.
constexpr double kInt64Bound = 9223372036854775808.0;

std::int64_t saturatingTruncate(double value) {
    if (value >= kInt64Bound) return std::numeric_limits<std::int64_t>::max();
    if (value < -kInt64Bound) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// The value under `key` when it has type T; a missing or mistyped key gives `fallback`.
template <typename T>
T valueOr(const PowerSourceDescription& description, const char* key, T fallback) {
    const auto found = description.values.find(key);
    if (found == description.values.end()) return fallback;
    const T* value = std::get_if<T>(&found->second);
    return value ? *value : fallback;
}

}  // namespace

BatteryMonitor::BatteryMonitor(PowerSources& sources, const Clock& clock, LogSink& log)
    : sources_(sources), clock_(clock), log_(log, "BatteryMonitor") {}

BatteryMonitor::~BatteryMonitor() {
    if (isMonitoring_) sources_.stopNotifications();
}

void BatteryMonitor::startMonitoring() {
    isMonitoring_ = sources_.setOnChange([this] { refreshState(); });
    if (!isMonitoring_) {
        log_.error("Could not subscribe to power-source changes; the battery state refreshes only on demand");
    }
}

void BatteryMonitor::refreshState() {
    const PowerSourceReading reading = sources_.readFirstSource();
    switch (reading.status) {
        case ReadStatus::noInfo:
        case ReadStatus::noSources:
            // A desktop, or nothing readable: no battery. The history stays for when it comes back.
            currentState_ = BatteryState::noBattery();
            publish();
            return;
        case ReadStatus::noDescription:
            return;
        case ReadStatus::ok:
            break;
    }

    const PowerSourceDescription& description = reading.description;
    BatteryState state;
    state.hasBattery = true;
    state.percentage = valueOr<std::int64_t>(description, kCurrentCapacityKey, 100);
    // A state the system does not name counts as AC power, so that no battery rule fires on a guess.
    state.isOnACPower =
        valueOr<std::string>(description, kPowerSourceStateKey, kACPowerState) == kACPowerState;
    state.isCharging = valueOr<bool>(description, kIsChargingKey, false);
    state.estimatedMinutesRemaining = estimateMinutes(sources_.timeRemainingEstimate());

    if (state.isOnACPower || state.isCharging) {
        drainHistory_.clear();
    } else {
        drainHistory_.push_back(Sample{clock_.now(), state.percentage});
        while (drainHistory_.size() > kMaxHistorySize) drainHistory_.pop_front();
    }
    currentState_ = state;
    publish();
}

void BatteryMonitor::publish() {
    stateChanged.emit(currentState_);
}

std::optional<double> BatteryMonitor::drainRatePerMinute() const {
    if (drainHistory_.size() < 2) return std::nullopt;
    const Sample& first = drainHistory_.front();
    const Sample& last = drainHistory_.back();
    const double minutes = last.date.secondsSince(first.date) / 60.0;
    if (!(minutes > 0.0)) return std::nullopt;
    // In floating point, so that absurd percentages cannot overflow the subtraction.
    const double drop = static_cast<double>(first.percent) - static_cast<double>(last.percent);
    if (drop < 1.0) return std::nullopt;
    return drop / minutes;
}

std::optional<std::int64_t> BatteryMonitor::minutesUntilThreshold(std::int64_t threshold) const {
    const std::optional<double> rate = drainRatePerMinute();
    if (!rate || !(*rate > 0.0)) return std::nullopt;
    const double gap = static_cast<double>(currentState_.percentage) - static_cast<double>(threshold);
    if (gap < 1.0) return 0;
    return saturatingTruncate(gap / *rate);
}

std::optional<std::int64_t> BatteryMonitor::estimateMinutes(double seconds) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return std::nullopt;
    const double minutes = std::trunc(seconds / 60.0);
    if (minutes >= kInt64Bound) return std::nullopt;
    return static_cast<std::int64_t>(minutes);
}

}  // namespace torvel
