#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvel {

class AppState;

/// One setting as the command line shows it.
struct SettingLine {
    std::string key;
    std::string value;  // as text: "true", "20", "0.4", "noIdleSleep", "cs"
    std::string type;   // what it takes: "a Boolean (true or false)", "an integer from 11 to 50"
};

/// Reading and changing the scalar settings by key, for the command line and D-Bus. Changes go through
/// the same assignment as the settings window's, so their change handling runs.
namespace SettingsCommands {

/// Every scalar setting, in the order of the settings table.
std::vector<SettingLine> list(const AppState& state);
/// The setting `key`; std::nullopt when there is none.
std::optional<SettingLine> get(const AppState& state, std::string_view key);
/// Assigns `text` to `key`. An error message (and no change at all) for an unknown key, a value of
/// the wrong type or one outside what the settings controls offer.
std::optional<std::string> set(AppState& state, std::string_view key, std::string_view text);

}  // namespace SettingsCommands

}  // namespace torvel
