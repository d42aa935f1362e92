#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Thermal.h"

namespace torvel {

/// The thermal state from the kernel's thermal zones. Each zone's trip points say where its state
/// begins; the worst zone gives the machine's state:
///
/// | trip type (lowest of its kind)                  | state from its temperature on        |
/// |-------------------------------------------------|--------------------------------------|
/// | active (a fan steps up)                         | fair                                 |
/// | passive (the kernel throttles)                  | serious                              |
/// | hot, else 5 °C under critical                   | critical                             |
///
/// The kernel powers off at the critical trip itself, so that one would never be read. A zone in mode
/// "disabled" and trips at or below 0 °C (placeholders of some firmware) are ignored. A zone leaves a
/// state only once it is below that state's trip minus the trip's hysteresis, so a temperature hovering
/// at a trip does not flap. Every file is read bounded and must hold a whole number; anything else is
/// treated as missing. A zone whose temperature cannot be read keeps the state it was last read in
/// (unreadable is not cool); a zone never read is left out, as is one that is no longer listed.
class SysfsThermal : public Thermal {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/thermal";
    /// How far under the critical trip the critical state begins when the zone has no hot trip.
    static constexpr long kCriticalMarginMilliC = 5000;

    /// Where one state of a zone begins, in millidegrees Celsius.
    struct Threshold {
        ThermalState state = ThermalState::fair;
        long temperature = 0;
        long hysteresis = 0;
    };
    /// The thresholds of a zone from its trips (type, temperature, hysteresis), mildest state first.
    struct Trip {
        std::string type;
        long temperature = 0;
        long hysteresis = 0;
    };
    static std::vector<Threshold> thresholds(const std::vector<Trip>& trips);
    /// The state of a zone at `temperature`, given the state it was in before.
    static ThermalState classify(const std::vector<Threshold>& thresholds, long temperature,
                                 ThermalState previous);

    explicit SysfsThermal(std::filesystem::path root = kDefaultRoot);

    std::optional<ThermalState> readState() override;

private:
    std::filesystem::path root_;
    /// Each zone's last state, by folder name, for the hysteresis and for a zone that fails to read.
    std::map<std::string, ThermalState> previous_;
};

}  // namespace torvel
