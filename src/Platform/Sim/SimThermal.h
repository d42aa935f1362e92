#pragma once

#include <optional>

#include "Platform/Thermal.h"

namespace torvel {

/// A scriptable thermal sensor. It starts cool; a test sets the state the next reading sees and counts
/// the readings, which is how it proves that nothing is read while nothing needs it.
class SimThermal : public Thermal {
public:
    std::optional<ThermalState> readState() override {
        ++reads_;
        return state_;
    }

    /// The state every later reading sees; std::nullopt makes readings fail.
    void setState(std::optional<ThermalState> state) { state_ = state; }
    /// How often the state was read.
    int readCount() const { return reads_; }

private:
    std::optional<ThermalState> state_ = ThermalState::nominal;
    int reads_ = 0;
};

}  // namespace torvel
