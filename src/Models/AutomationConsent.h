#pragma once

#include <cstdint>
#include <optional>

namespace torvel {

/// Whether the user lets this application put the session to sleep.
enum class AutomationConsent { granted, notAsked, denied };

/// What stops an unattended sleep right now.
enum class UnattendedSleepObstacle { consentNotAsked, consentDenied, sendPending, consentUnreadable };

/// The consent a permission status stands for; std::nullopt when the status says nothing readable.
inline std::optional<AutomationConsent> consentFromStatus(std::int32_t status) {
    switch (status) {
        case 0:
            return AutomationConsent::granted;
        case -1742:
        case -1743:
            return AutomationConsent::denied;
        case -1744:
            return AutomationConsent::notAsked;
        default:
            return std::nullopt;
    }
}

}  // namespace torvel
