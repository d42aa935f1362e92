#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Core/Profiles.h"

namespace torvel {

/// The profile editor without its widgets: the draft it opened on, the name being typed, the preset
/// choice and the save rules: a name that is empty once trimmed cannot be saved, nor one that another
/// profile already shows or stores (the command line and URLs pick a profile by that name, so a second
/// one could never be reached).
class ProfileEditorForm {
public:
    /// The battery override the slider offers, in percent.
    static constexpr int kMinOverride = 0;
    /// The highest override offered.
    static constexpr int kMaxOverride = 50;

    /// Why a name cannot be saved.
    enum class NameProblem { none, empty, taken };

    /// The editor on `existing` (one of `profiles`), or on a new profile when nullptr.
    ProfileEditorForm(const Profile* existing, const std::vector<Profile>& profiles,
                      const Localization& texts);

    /// Whether it edits a stored profile (its title says so) rather than a new one.
    bool isEditing() const { return draft_.existingID.has_value(); }
    /// The name as typed; starts as the profile's display name (empty for a new profile).
    std::string name;

    /// The position of the duration among Duration::menuPresets(); std::nullopt when the profile's
    /// duration is none of them (a custom one), which is kept unless a preset is chosen.
    std::optional<std::size_t> presetIndex() const;
    /// Chooses the preset at `index` of Duration::menuPresets(); an index out of range is ignored.
    void choosePreset(std::size_t index);
    /// The assertion the profile's session holds.
    AssertionType assertionType() const { return draft_.assertionType; }
    void setAssertionType(AssertionType type) { draft_.assertionType = type; }
    /// Whether the profile has its own battery limit (the switch); off saves no override.
    bool hasBatteryOverride() const { return draft_.overrideEnabled; }
    void setHasBatteryOverride(bool on) { draft_.overrideEnabled = on; }
    /// The slider's limit in percent; 20 for a profile that had none, 0 meaning no limit.
    int batteryOverride() const { return draft_.overrideValue; }
    /// Sets the override, clamped to the slider's range.
    void setBatteryOverride(int percent);

    /// What is wrong with the typed name, trimmed of white space and line breaks.
    NameProblem nameProblem() const;
    /// Whether Save is offered: the name has no problem.
    bool canSave() const { return nameProblem() == NameProblem::none; }
    /// The record to store; std::nullopt while canSave() is false.
    std::optional<Profile> record() const;

private:
    ProfileDraft draft_;
    /// The shown and stored names of every other profile.
    std::set<std::string, std::less<>> takenNames_;
};

}  // namespace torvel
