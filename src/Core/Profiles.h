#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Support/Localization.h"
#include "Models/Profile.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

namespace torvel {

/// The name a profile is shown and compared under: the text of its localisation key when it has one
/// (the key itself when the table lacks it), else its stored name.
std::string displayName(const Profile& profile, const Localization& texts);

/// The one-time version-2 migration: a keyless profile that matches a built-in's settings and one of
/// its old English or Czech names gets the built-in's key. Same length and order; logs each change.
std::vector<Profile> migrateProfiles(std::vector<Profile> profiles, const Logger& log);

/// The list read at start-up, and whether it differs from what is stored.
struct LoadedProfiles {
    std::vector<Profile> profiles;
    /// The caller saves the list (saveProfiles) once it has published it.
    bool needsSave = false;
    /// The stored list did not decode in full and could not be kept aside: saving would lose it.
    bool saveBlocked = false;
};

/// Reads "profiles": the entries that decode (the built-ins when none does or there is no list), the
/// migrated list on the first start after the migration was introduced; then seeds the AI profile
/// once. A list that does not decode in full, or that the store cannot read at all, is first copied
/// whole to "profiles.unreadable.<now>", so that nothing the user stored is lost. Writes that copy and the "profilesMigratedToV2" and
/// "aiProfileSeeded" flags itself, but not the list.
LoadedProfiles loadProfiles(DefaultsStore& store, const Logger& log, Date now);

/// Stores the whole list under "profiles". A list that cannot be encoded is logged and leaves the
/// stored value as it was: false. A store that refuses the write logs that itself: false.
bool saveProfiles(DefaultsStore& store, const std::vector<Profile>& profiles, const Logger& log);

/// The name a copy of `source` receives: the localised copy name, or that name followed by " 2",
/// " 3", ... when a profile already shows or stores it.
std::string uniqueProfileCopyName(const Profile& source, const std::vector<Profile>& profiles,
                                  const Localization& texts);

/// A copy of `source` under a fresh id and a unique copy name, as a plain user profile (no key). The
/// caller appends it to the list.
Profile duplicateProfile(const Profile& source, const std::vector<Profile>& profiles,
                         const Localization& texts);

/// What the profile editor keeps from the moment it opens, and how it turns the edit into a record.
struct ProfileDraft {
    std::optional<Uuid> existingID;
    std::optional<std::string> existingKey;
    /// The display name when the editor opened; also the initial text of the name field.
    std::string shownName;
    std::string storedName;
    Duration duration = Duration::indefinite();
    AssertionType assertionType = AssertionType::noIdleSleep;
    bool overrideEnabled = false;
    /// The slider's value; 20 when the profile had no override.
    int overrideValue = 20;

    /// The editor on `existing`, or on a new profile when nullptr.
    static ProfileDraft open(const Profile* existing, const Localization& texts);
    /// The record to store. A name that, trimmed, is still the one shown keeps the stored name and the
    /// key, so an untouched built-in stays localised. A new profile gets a fresh id on every call.
    Profile finish(std::string editedName) const;
};

/// `profiles` with `edited` in place of the profile with its id, or appended when there is none.
std::vector<Profile> storeEdited(std::vector<Profile> profiles, Profile edited);
/// `profiles` without any profile whose id is `id`.
std::vector<Profile> deleteProfile(std::vector<Profile> profiles, const Uuid& id);

}  // namespace torvel
