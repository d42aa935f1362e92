#pragma once

#include <optional>

#include "Models/PermissionStatus.h"

namespace torvel {

/// Whether the user lets this application put the session to sleep.
enum class AutomationConsent { granted, notAsked, denied };

/// What stops an unattended sleep right now.
enum class UnattendedSleepObstacle { consentNotAsked, consentDenied, sendPending, consentUnreadable };

/// The consent a permission status stands for; std::nullopt when the status says nothing readable.
inline std::optional<AutomationConsent> consentFromStatus(PermissionStatus status) {
    switch (status) {
        case PermissionStatus::granted:
            return AutomationConsent::granted;
        case PermissionStatus::notPermitted:
        case PermissionStatus::denied:
            return AutomationConsent::denied;
        case PermissionStatus::notAsked:
            return AutomationConsent::notAsked;
        case PermissionStatus::notRunning:
        case PermissionStatus::noAnswer:
        case PermissionStatus::unreadable:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace torvel
