#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>

namespace torvel {

/// One value of a power-source description, typed as the platform gave it: the battery logic trusts a
/// key only when it has the type it expects.
using PowerSourceValue = std::variant<std::int64_t, std::string, bool, double>;

/// The keys the battery logic reads, and the values of the power source state it compares with.
inline constexpr const char* kCurrentCapacityKey = "Current Capacity";
inline constexpr const char* kPowerSourceStateKey = "Power Source State";
inline constexpr const char* kIsChargingKey = "Is Charging";
inline constexpr const char* kACPowerState = "AC Power";
inline constexpr const char* kBatteryPowerState = "Battery Power";

/// What the system says about one power source; any key may be missing or of another type.
struct PowerSourceDescription {
    std::map<std::string, PowerSourceValue> values;
};

/// How far reading the power sources got.
enum class ReadStatus {
    noInfo,         // no power-source information at all
    noSources,      // information, but no power source in it (a desktop)
    noDescription,  // the first power source has no readable description
    ok,
};

/// The first power source, as read once.
struct PowerSourceReading {
    ReadStatus status = ReadStatus::noInfo;
    /// Empty unless status is ok.
    PowerSourceDescription description;
};

/// System estimates of the battery time left that are not a number of seconds.
inline constexpr double kTimeRemainingUnknown = -1.0;
inline constexpr double kTimeRemainingUnlimited = -2.0;

/// The machine's power sources (battery and charger) and their change notification.
class PowerSources {
public:
    virtual ~PowerSources() = default;
    /// Reads the first power source. Failure: a status other than ok, with an empty description.
    virtual PowerSourceReading readFirstSource() = 0;
    /// Seconds of battery time left: kTimeRemainingUnknown when the system cannot tell,
    /// kTimeRemainingUnlimited on AC power, otherwise zero or more.
    virtual double timeRemainingEstimate() = 0;
    // A hook with one owner rather than a Signal: subscribing is what starts following the source, and
    // its answer (false: no notifications will ever come) is what the owner decides on.
    /// Calls `onChange` on the main loop after any power-source change, replacing an earlier callback.
    /// Failure: false, and no notifications at all (the earlier callback is dropped too).
    virtual bool setOnChange(std::function<void()> onChange) = 0;
    /// Ends the notifications; the callback is not called afterwards, even for a change already on its
    /// way. Never fails.
    virtual void stopNotifications() = 0;
};

}  // namespace torvel
