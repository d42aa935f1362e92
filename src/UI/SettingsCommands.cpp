#include "UI/SettingsCommands.h"

#include <fmt/format.h>

#include "State/AppState.h"
#include "Support/Localization.h"

namespace torvel {

namespace {

SettingLine lineOf(const SettingDescriptor& row, const AppState& state) {
    return {std::string(row.key), settingText(row, state.settings()), settingTypeDescription(row),
            state.texts().text(settingHelpKey(row))};
}

}  // namespace

std::vector<SettingLine> SettingsCommands::list(const AppState& state) {
    std::vector<SettingLine> lines;
    for (const auto& row : settingDescriptors()) lines.push_back(lineOf(row, state));
    return lines;
}

std::optional<SettingLine> SettingsCommands::get(const AppState& state, std::string_view key) {
    const SettingDescriptor* row = settingDescriptor(key);
    if (!row) return std::nullopt;
    return lineOf(*row, state);
}

std::optional<SettingRefusal> SettingsCommands::set(AppState& state, std::string_view key,
                                                    std::string_view text) {
    if (!settingDescriptor(key)) {
        return SettingRefusal{SettingRefusal::Reason::badInput,
                              fmt::format("unknown setting '{}' (torvel config list shows them)", key)};
    }
    return state.setSettingFromText(key, text);
}

}  // namespace torvel
