#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "Platform/Log.h"
#include "Platform/PowerSources.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The power sources as the kernel's power-supply class shows them, for machines without UPower. The
/// first power source is the first battery by directory name that powers the system: a supply of type
/// "Battery" whose scope is not "Device" (mice, keyboards and headsets have scope "Device") and that
/// is not marked absent. How the files become the description:
///
/// | sysfs                                          | description / result                            |
/// |------------------------------------------------|-------------------------------------------------|
/// | the folder is missing or unreadable            | ReadStatus::noInfo                              |
/// | no such battery                                | ReadStatus::noSources (a desktop)               |
/// | capacity                                       | "Current Capacity", clamped to 0..100; when it  |
/// |                                                | is no number, energy_now/energy_full (or charge)|
/// |                                                | instead; neither: left out                      |
/// | a "Mains" or "USB*" supply with online > 0     | "Power Source State" "AC Power"; all offline:   |
/// |                                                | "Battery Power"                                 |
/// | no such supply: battery status                 | "Discharging": "Battery Power"; "Charging",     |
/// |                                                | "Full", "Not charging": "AC Power"; else left out|
/// | status "Charging"                              | "Is Charging" true; anything else false         |
/// | on battery and "Discharging": energy_now /     | timeRemainingEstimate() in seconds (a negative  |
/// | power_now, or charge_now / current_now         | rate, as some drivers report, counts by size)   |
/// | on AC power                                    | kTimeRemainingUnlimited; otherwise unknown      |
///
/// File contents are trimmed and must be whole decimal integers; anything else is treated as missing.
///
/// sysfs announces nothing without udev, so changes are found by polling: every kPollSeconds while
/// notifications are on (and not at all otherwise), calling back only when the reading differs from
/// the previous one. A change is therefore seen up to a minute late.
class SysfsPowerSources : public PowerSources {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/power_supply";
    /// Battery levels move slowly; a minute keeps the wake-ups rare and the state fresh enough.
    static constexpr double kPollSeconds = 60.0;

    SysfsPowerSources(Scheduler& scheduler, LogSink& log, std::filesystem::path root = kDefaultRoot);

    PowerSourceReading readFirstSource() override;
    double timeRemainingEstimate() override;
    /// Never fails: polling needs nothing from the system.
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override;

private:
    /// What one pass over the folder found.
    struct Scan {
        ReadStatus status = ReadStatus::noInfo;
        std::filesystem::path battery;
        std::string batteryStatus;
        /// From the charger supplies, else from the battery status; std::nullopt when neither tells.
        std::optional<bool> onAC;
    };

    Scan scan();
    void poll();

    Scheduler& scheduler_;
    Logger log_;
    std::filesystem::path root_;
    std::function<void()> onChange_;
    Timer poll_;
    PowerSourceReading last_;
    bool reportedUnreadable_ = false;
};

}  // namespace torvel
