#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Models/AssertionType.h"
#include "Models/Duration.h"
#include "Models/Uuid.h"
#include "Models/Result.h"

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

/// The stored list: a JSON array of objects with "id", "name", "duration", "assertionType" and, when
/// present, "batteryLimitOverride" and "localizationKey". A failure when a profile cannot be written
/// faithfully: a custom duration that is not finite, a text that is not UTF-8.
Result<std::string> profilesToJson(const std::vector<Profile>& profiles);
/// Reads the stored list. One unreadable profile makes the whole list unreadable: a failure describing
/// the first fault.
Result<std::vector<Profile>> profilesFromJson(std::string_view json);

/// The built-in profiles in menu order: Presentation, Download, Cooking, AI. Their ids are fixed.
const std::vector<Profile>& defaultProfiles();

/// Readable form for logs and test failures.
std::string toString(const Profile& profile);

}  // namespace torvel
