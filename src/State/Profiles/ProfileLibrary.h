#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "Models/Profile.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Support/Signal.h"

namespace torvel {

class DefaultsStore;
class Localization;
class SessionControl;

/// The user's profiles: loaded at start-up, stored whole on every change, and the profile commands of
/// the menu and the settings window. The session reads a running profile's type and limit through
/// profileWithID(). Main thread only.
class ProfileLibrary {
public:
    /// Loads the stored list; a list stored in an older form is written back in the current one.
    ProfileLibrary(SessionControl& session, Clock& clock, DefaultsStore& defaults, const Localization& texts,
                   LogSink& log);
    ProfileLibrary(const ProfileLibrary&) = delete;
    ProfileLibrary& operator=(const ProfileLibrary&) = delete;

    const std::vector<Profile>& profiles() const { return profiles_; }
    /// Stores the list whole and re-evaluates, so an edited type or limit of the running profile
    /// applies at once. A list that could not be read in full nor kept aside is never saved over.
    void setProfiles(std::vector<Profile> profiles);
    /// Ends the session when `profile` runs, else starts it.
    void toggleProfile(const Profile& profile);
    /// Appends a copy under a unique name and returns it.
    Profile duplicateProfile(const Profile& profile);
    /// Replaces the profile with the same id in place, or appends a new one.
    void saveEditedProfile(const Profile& profile);
    /// Removes the profile; a session it runs goes on under the global battery limit.
    void deleteProfile(const Uuid& id);
    /// The first profile whose stored name, key or shown name equals `name` exactly.
    const Profile* profileNamed(std::string_view name) const;
    /// The profile with `id`; nullptr when there is none (or no id).
    const Profile* profileWithID(const std::optional<Uuid>& id) const;
    /// Tells observers of every assignment of the list.
    Signal<> profilesChanged;

private:
    SessionControl& session_;
    DefaultsStore& defaults_;
    const Localization& texts_;
    Logger log_;
    std::vector<Profile> profiles_;
    /// The stored list could not be read in full nor kept aside: saving over it would lose profiles.
    bool saveBlocked_ = false;
};

}  // namespace torvel
