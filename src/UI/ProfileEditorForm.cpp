#include "UI/ProfileEditorForm.h"

#include <algorithm>
#include <string_view>

namespace torvel {

namespace {
constexpr std::string_view kBlank = " \t\n\r\v\f";
}

ProfileEditorForm::ProfileEditorForm(const Profile* existing, const std::vector<Profile>& profiles,
                                     const Localization& texts)
    : draft_(ProfileDraft::open(existing, texts)) {
    name = draft_.shownName;
    for (const auto& profile : profiles) {
        if (existing && profile.id == existing->id) continue;
        takenNames_.insert(displayName(profile, texts));
        takenNames_.insert(profile.name);
    }
    draft_.overrideValue = std::clamp(draft_.overrideValue, kMinOverride, kMaxOverride);
}

std::optional<std::size_t> ProfileEditorForm::presetIndex() const {
    const auto& presets = Duration::menuPresets();
    const auto it = std::find(presets.begin(), presets.end(), draft_.duration);
    if (it == presets.end()) return std::nullopt;
    return static_cast<std::size_t>(it - presets.begin());
}

void ProfileEditorForm::choosePreset(std::size_t index) {
    const auto& presets = Duration::menuPresets();
    if (index < presets.size()) draft_.duration = presets[index];
}

void ProfileEditorForm::setBatteryOverride(int percent) {
    draft_.overrideValue = std::clamp(percent, kMinOverride, kMaxOverride);
}

ProfileEditorForm::NameProblem ProfileEditorForm::nameProblem() const {
    const auto first = name.find_first_not_of(kBlank);
    if (first == std::string::npos) return NameProblem::empty;
    const auto trimmed = std::string_view(name).substr(first, name.find_last_not_of(kBlank) - first + 1);
    // An untouched name stays the profile's own even when another profile shares it already.
    if (trimmed != draft_.shownName && takenNames_.count(trimmed)) return NameProblem::taken;
    return NameProblem::none;
}

std::optional<Profile> ProfileEditorForm::record() const {
    if (!canSave()) return std::nullopt;
    return draft_.finish(name);
}

}  // namespace torvel
