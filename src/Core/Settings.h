#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Core/SettingsValues.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

namespace torvel {

/// How a setting is read from the store at start-up:
/// F - a flag, off when missing or not a Boolean (the store's Boolean getter);
/// T - a flag, on (its default) when missing or not a Boolean;
/// I - an integer, the default when missing or not an integer, the nearest bound when out of range;
/// R - a volume (32-bit floating point), the default when missing or not a number, else within 0 to 1;
/// S - one of a fixed set of strings (an assertion type, the language), the default otherwise;
/// J - a JSON list; what an unreadable list becomes belongs to the list's owner.
enum class SettingRule { F, T, I, R, S, J };

/// What a change of a setting sets off after it has been stored.
enum class SettingChange {
    none,
    reevaluate,
    trustedNetworks,           // latch check, then re-evaluate
    trustedNetworkActivation,  // latch or Wi-Fi refresh, then re-evaluate
    processTrigger,            // push the watched applications, then re-evaluate
    emergencyPower,            // update the emergency watchdog, refresh the automation consent
    emergencyForceSleep,       // update the emergency watchdog
    emergencyAlarm,            // stop the alarm when switched off
    language,                  // switch the texts to the new language
};

/// The field of SettingsValues a scalar setting lives in.
using SettingMember =
    std::variant<bool SettingsValues::*, std::int64_t SettingsValues::*, float SettingsValues::*,
                 AssertionType SettingsValues::*, AppLanguage SettingsValues::*>;

/// The values a number setting takes, bounds included.
struct SettingRange {
    /// The smallest value taken.
    double min;
    /// The largest value taken.
    double max;
};

/// One row of the settings table.
struct SettingDescriptor {
    std::string_view key;
    SettingRule rule;
    SettingChange change;
    SettingMember member;
    /// Set for the numbers: a stored value outside is read as the nearest bound, one from outside
    /// (the command line, D-Bus) is refused.
    std::optional<SettingRange> range = std::nullopt;
};

/// Why a setting kept its value.
struct SettingRefusal {
    enum class Reason {
        badInput,  // an unknown key, a value of the wrong kind or out of range
        notSaved,  // the store could not write it
    };
    /// Which of the two it was: the command line exits 2 for bad input, 1 for a failed save.
    Reason reason;
    /// What to tell the user: the key and what it takes, or the file and why it refused the write.
    std::string message;
};

/// Every scalar setting in the order it is read at start-up. The lists (trusted networks, watched
/// applications, profiles) and the automation pause are stored by their owners.
const std::vector<SettingDescriptor>& settingDescriptors();
/// The row for `key`; nullptr when no scalar setting has that key.
const SettingDescriptor* settingDescriptor(std::string_view key);
/// The row whose field is `member`.
const SettingDescriptor& settingDescriptor(const SettingMember& member);

/// Key of the text that explains a setting in one line ("settings.help.battery_limit_percent").
std::string settingHelpKey(const SettingDescriptor& row);

/// Key of the trusted network list.
inline constexpr std::string_view kTrustedNetworksKey = "trustedNetworks";

/// Reads every setting by its rule. Values of the wrong kind are ignored (the default applies), values
/// out of range read as the nearest bound (logged); both stay in the store until the next assignment.
/// The trusted network list is read as loadStoredList does, at `now`.
SettingsValues loadSettings(DefaultsStore& store, const Logger& log, Date now);

/// Copies whatever is stored under `key`, readable or not, to "<key>.unreadable.<now>" ("-2", "-3", ...
/// when taken), so that writing `key` loses nothing. The key of the copy; std::nullopt when the store
/// refused it.
std::optional<std::string> keepUnreadableAside(DefaultsStore& store, std::string_view key, Date now);

/// Keeps the value under `key` aside (keepUnreadableAside) after it did not read as a list in full
/// (`why`), and logs at error level that `kept` of its entries are used and where the whole is kept.
void keepUnreadableList(DefaultsStore& store, std::string_view key, std::size_t kept, const std::string& why,
                        const Logger& log, Date now);

/// The JSON list stored under `key`, read with `decode(text, &error, &readable)` (the form of
/// trustedNetworksFromJson): empty when there is none. A value that does not read in full (a damaged
/// entry, another kind, one the store cannot read) gives the entries that do decode, after
/// keepUnreadableList has kept the whole of it aside.
template <typename T, typename Decode>
std::vector<T> loadStoredList(DefaultsStore& store, std::string_view key, Decode decode, const Logger& log,
                              Date now) {
    const auto stored = store.object(key);
    const auto unreadable = stored ? std::nullopt : store.unreadable(key);
    if (!stored && !unreadable) return {};
    std::string error = unreadable ? *unreadable : "the stored value is not data";
    std::vector<T> readable;
    if (const auto* data = stored ? std::get_if<DefaultsData>(&*stored) : nullptr) {
        if (auto all = decode(data->toString(), &error, &readable)) return std::move(*all);
    }
    keepUnreadableList(store, key, readable.size(), error, log, now);
    return readable;
}
/// Stores the value of one scalar setting in its kind: Booleans, integers, volumes as numbers,
/// assertion types and the language as their raw strings. The store's reason when it could not write.
DefaultsWrite storeSetting(DefaultsStore& store, const SettingDescriptor& row, const SettingsValues& values);

/// The value of a scalar setting as text ("true", "20", "0.4", "noIdleSleep", "cs").
std::string settingText(const SettingDescriptor& row, const SettingsValues& values);
/// The kind of value a setting takes, for messages ("a Boolean (true or false)", "an integer from 11
/// to 50").
std::string settingTypeDescription(const SettingDescriptor& row);
/// Parses `text` as a value of the row's kind and range into `values`; an error message when it is not
/// one.
std::optional<std::string> parseSetting(const SettingDescriptor& row, std::string_view text,
                                        SettingsValues& values);

}  // namespace torvel
