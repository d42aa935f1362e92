#include "UI/SettingsCommands.h"

#include <charconv>
#include <fmt/format.h>

#include "Core/AppState.h"
#include "Core/Settings.h"
#include "UI/SettingsRanges.h"

namespace torvel {

namespace {

std::string typeOf(const SettingDescriptor& row) {
    if (auto range = offeredRange(row.key)) return fmt::format("an integer from {} to {}", range->min, range->max);
    return settingTypeDescription(row);
}

SettingLine lineOf(const SettingDescriptor& row, const AppState& state) {
    return {std::string(row.key), settingText(row, state.settings()), typeOf(row)};
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

std::optional<std::string> SettingsCommands::set(AppState& state, std::string_view key, std::string_view text) {
    const SettingDescriptor* row = settingDescriptor(key);
    if (!row) return fmt::format("unknown setting '{}' (torvel config list shows them)", key);
    if (auto range = offeredRange(key)) {
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < range->min ||
            value > range->max)
            return fmt::format("{} expects {}", key, typeOf(*row));
    }
    return state.setSettingFromText(key, text);
}

}  // namespace torvel
