// The profile list: loading at start-up, storing on every change, and the profile commands.
#include "State/AppState.h"
#include "Support/Localization.h"
#include "Core/Profiles.h"

namespace torvel {

void AppState::loadProfileList() {
    auto loaded = loadProfiles(services_.defaults, log_, services_.clock.now());
    profiles_ = std::move(loaded.profiles);
    profilesSaveBlocked_ = loaded.saveBlocked;
    if (loaded.needsSave && !profilesSaveBlocked_) saveProfiles(services_.defaults, profiles_, log_);
}

void AppState::setProfiles(std::vector<Profile> profiles) {
    profiles_ = std::move(profiles);
    profilesChanged.emit();
    if (profilesSaveBlocked_) {
        log_.error("Not saving the profile list: the stored one could not be read in full nor kept aside");
    } else {
        saveProfiles(services_.defaults, profiles_, log_);
    }
    // An edited type or limit of the running profile applies at once.
    reevaluateState();
}

void AppState::toggleProfile(const Profile& profile) {
    if (activeProfileID_ == profile.id) {
        deactivateAll();
    } else {
        activateProfile(profile);
    }
}

Profile AppState::duplicateProfile(const Profile& profile) {
    Profile copy = torvel::duplicateProfile(profile, profiles_, services_.texts);
    auto list = profiles_;
    list.push_back(copy);
    setProfiles(std::move(list));
    return copy;
}

void AppState::saveEditedProfile(const Profile& profile) {
    setProfiles(storeEdited(profiles_, profile));
}

void AppState::deleteProfile(const Uuid& id) {
    setProfiles(torvel::deleteProfile(profiles_, id));
}

const Profile* AppState::profileNamed(std::string_view name) const {
    for (const auto& profile : profiles_) {
        const bool byKey = profile.localizationKey && *profile.localizationKey == name;
        if (profile.name == name || byKey || displayName(profile, services_.texts) == name) return &profile;
    }
    return nullptr;
}

}  // namespace torvel
