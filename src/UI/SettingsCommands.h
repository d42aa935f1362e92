#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Core/Settings.h"

namespace torvel {

class AppState;

/// One setting as the command line shows it.
struct SettingLine {
    std::string key;
    std::string value;  // as text: "true", "20", "0.4", "noIdleSleep", "cs"
    std::string type;   // what it takes: "a Boolean (true or false)", "an integer from 11 to 50"
    std::string help;   // what it does, in one line of the user's language
};

/// Reading and changing the scalar settings by key, for the command line and D-Bus. Changes go through
/// the same assignment as the settings window's, so their change handling runs.
namespace SettingsCommands {

/// Every scalar setting, in the order of the settings table.
std::vector<SettingLine> list(const AppState& state);
/// The setting `key`; std::nullopt when there is none.
std::optional<SettingLine> get(const AppState& state, std::string_view key);
/// Assigns `text` to `key`. A badInput refusal (and no change at all) for an unknown key, a value of
/// the wrong type or one outside the setting's range; notSaved, naming the file and the reason, when
/// the store could not write it, which leaves the setting as it was too.
std::optional<SettingRefusal> set(AppState& state, std::string_view key, std::string_view text);

}  // namespace SettingsCommands

}  // namespace torvel
