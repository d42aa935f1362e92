#include "Models/BatteryState.h"

namespace torvel {

std::string BatteryState::toString() const {
    std::string out = "battery(" + std::to_string(percentage) + "%";
    out += isOnACPower ? " ac" : " battery";
    if (isCharging) out += " charging";
    if (!hasBattery) out += " none";
    if (estimatedMinutesRemaining) out += " " + std::to_string(*estimatedMinutesRemaining) + "min";
    return out + ")";
}

std::string_view toString(ThermalState state) {
    switch (state) {
        case ThermalState::nominal:
            return "nominal";
        case ThermalState::fair:
            return "fair";
        case ThermalState::serious:
            return "serious";
        case ThermalState::critical:
            return "critical";
    }
    return "unknown";
}

}  // namespace torvel
