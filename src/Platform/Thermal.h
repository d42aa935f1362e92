#pragma once

#include <optional>

#include "Models/BatteryState.h"

namespace torvel {

/// The machine's thermal pressure, read on demand. The system announces nothing here, so whoever needs
/// the state asks for it, and only while it matters.
class Thermal {
public:
    virtual ~Thermal() = default;
    /// The thermal state now, the worst part of the machine deciding; a part that fails to read counts
    /// with the state it was last read in, never as cool. Failure (nothing ever readable, or no sensor at
    /// all): std::nullopt.
    virtual std::optional<ThermalState> readState() = 0;
};

}  // namespace torvel
