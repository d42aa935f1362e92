#include "Platform/Sim/SimPowerSources.h"

#include <utility>

#include "Platform/Sim/SimDelivery.h"

namespace torvel {

SimPowerSources::SimPowerSources(Scheduler& scheduler) : scheduler_(scheduler) {
    description_.values = {{kCurrentCapacityKey, std::int64_t{100}},
                           {kPowerSourceStateKey, std::string(kACPowerState)},
                           {kIsChargingKey, false}};
}

PowerSourceReading SimPowerSources::readFirstSource() {
    ++reads_;
    if (status_ != ReadStatus::ok) return PowerSourceReading{status_, {}};
    return PowerSourceReading{ReadStatus::ok, description_};
}

bool SimPowerSources::setOnChange(std::function<void()> onChange) {
    if (failNotificationSetup_) {
        *onChange_ = nullptr;
        return false;
    }
    *onChange_ = std::move(onChange);
    return true;
}

void SimPowerSources::stopNotifications() {
    *onChange_ = nullptr;
}

void SimPowerSources::setBatteryPercent(std::optional<int> percent) {
    if (percent) {
        setRawValue(kCurrentCapacityKey, std::int64_t{*percent});
    } else {
        removeValue(kCurrentCapacityKey);
    }
}

void SimPowerSources::setOnAC(bool onAC) {
    setRawValue(kPowerSourceStateKey, std::string(onAC ? kACPowerState : kBatteryPowerState));
}

void SimPowerSources::setCharging(bool charging) {
    setRawValue(kIsChargingKey, charging);
}

void SimPowerSources::setRawValue(const std::string& key, PowerSourceValue value) {
    status_ = ReadStatus::ok;
    description_.values[key] = std::move(value);
}

void SimPowerSources::removeValue(const std::string& key) {
    status_ = ReadStatus::ok;
    description_.values.erase(key);
}

void SimPowerSources::emitChange() {
    deliverLater(scheduler_, onChange_);
}

}  // namespace torvel
