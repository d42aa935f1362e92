#pragma once

#include <optional>
#include <string>

#include "Models/AssertionType.h"
#include "Models/Duration.h"
#include "Models/Uuid.h"

namespace torvel {

/// A saved preset for one keep-awake session.
struct Profile {
    Uuid id;
    /// Stored name; the English name for a built-in profile.
    std::string name;
    Duration duration = Duration::indefinite();
    AssertionType assertionType = AssertionType::noIdleSleep;
    /// Absent: the global battery limit applies; 0: no limit while this profile runs; else the limit.
    std::optional<int> batteryLimitOverride;
    /// When set, the profile is shown under this key's text instead of `name`.
    std::optional<std::string> localizationKey;

    friend bool operator==(const Profile&, const Profile&) = default;
};

}  // namespace torvel
