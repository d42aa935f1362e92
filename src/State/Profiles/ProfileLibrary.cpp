// The profile list: loading at start-up, storing on every change, and the profile commands.
#include "State/Profiles/ProfileLibrary.h"

#include "Core/Profiles.h"
#include "State/SessionControl.h"
#include "Support/Localization.h"

namespace torvel {

ProfileLibrary::ProfileLibrary(SessionControl& session, Clock& clock, DefaultsStore& defaults,
                               const Localization& texts, LogSink& log)
    : session_(session), defaults_(defaults), texts_(texts), log_(log, "AppState") {
    auto loaded = loadProfiles(defaults_, log_, clock.now());
    profiles_ = std::move(loaded.profiles);
    saveBlocked_ = loaded.saveBlocked;
    if (loaded.needsSave && !saveBlocked_) saveProfiles(defaults_, profiles_, log_);
}

void ProfileLibrary::setProfiles(std::vector<Profile> profiles) {
    profiles_ = std::move(profiles);
    profilesChanged.emit();
    if (saveBlocked_) {
        log_.error("Not saving the profile list: the stored one could not be read in full nor kept aside");
    } else {
        saveProfiles(defaults_, profiles_, log_);
    }
    // An edited type or limit of the running profile applies at once.
    session_.reevaluateState();
}

void ProfileLibrary::toggleProfile(const Profile& profile) {
    if (session_.activeProfileID() == profile.id) {
        session_.deactivateAll();
    } else {
        session_.activateProfile(profile);
    }
}

Profile ProfileLibrary::duplicateProfile(const Profile& profile) {
    Profile copy = torvel::duplicateProfile(profile, profiles_, texts_);
    auto list = profiles_;
    list.push_back(copy);
    setProfiles(std::move(list));
    return copy;
}

void ProfileLibrary::saveEditedProfile(const Profile& profile) {
    setProfiles(storeEdited(profiles_, profile));
}

void ProfileLibrary::deleteProfile(const Uuid& id) {
    setProfiles(torvel::deleteProfile(profiles_, id));
}

const Profile* ProfileLibrary::profileNamed(std::string_view name) const {
    for (const auto& profile : profiles_) {
        const bool byKey = profile.localizationKey && *profile.localizationKey == name;
        if (profile.name == name || byKey || displayName(profile, texts_) == name) return &profile;
    }
    return nullptr;
}

const Profile* ProfileLibrary::profileWithID(const std::optional<Uuid>& id) const {
    if (!id) return nullptr;
    for (const auto& profile : profiles_) {
        if (profile.id == *id) return &profile;
    }
    return nullptr;
}

}  // namespace torvel
