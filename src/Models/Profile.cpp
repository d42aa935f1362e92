#include "Models/Profile.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "Models/JsonErrors.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {

using nlohmann::json;

using json_errors::withoutExceptionTag;

// Any JSON number with a whole value inside int: another encoder may have written 20 as 20.0.
std::optional<int> intValue(const json& value) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n <= static_cast<std::uint64_t>(INT_MAX)) return static_cast<int>(n);
    } else if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n >= INT_MIN && n <= INT_MAX) return static_cast<int>(n);
    } else if (value.is_number_float()) {
        const double n = value.get<double>();
        if (std::trunc(n) == n && n >= INT_MIN && n <= INT_MAX) return static_cast<int>(n);
    }
    return std::nullopt;
}

// The member `key` of `entry` as a string; fails when it is missing or not a string.
Result<const std::string*> requiredString(const json& entry, const char* key, const std::string& where) {
    const auto it = entry.find(key);
    if (it == entry.end()) {
        return Failure{where + ": missing key \"" + key + "\"."};
    }
    if (!it->is_string()) {
        return Failure{where + ": \"" + key + "\" is not a string."};
    }
    return it->get_ptr<const std::string*>();
}

// An optional member: missing and null both mean absent.
const json* optionalMember(const json& entry, const char* key) {
    const auto it = entry.find(key);
    return it == entry.end() || it->is_null() ? nullptr : &*it;
}

Result<Profile> decodeProfile(const json& entry, std::size_t index) {
    const std::string where = "Profile " + std::to_string(index + 1);
    if (!entry.is_object()) {
        return Failure{where + " is not a JSON object."};
    }
    const auto idText = requiredString(entry, "id", where);
    if (!idText) return Failure{idText.error()};
    const std::string* id = *idText;
    const auto nameText = requiredString(entry, "name", where);
    if (!nameText) return Failure{nameText.error()};
    const std::string* name = *nameText;
    const auto duration = entry.find("duration");
    if (duration == entry.end()) {
        return Failure{where + ": missing key \"duration\"."};
    }
    const auto typeText = requiredString(entry, "assertionType", where);
    if (!typeText) return Failure{typeText.error()};
    const std::string* type = *typeText;

    Profile profile;
    const auto uuid = Uuid::parse(*id);
    if (!uuid) {
        return Failure{where + ": \"" + *id + "\" is not a UUID."};
    }
    profile.id = *uuid;
    profile.name = *name;
    const auto decodedDuration = Duration::fromJson(*duration);
    if (!decodedDuration) return Failure{where + ": unreadable \"duration\": " + decodedDuration.error()};
    profile.duration = *decodedDuration;
    const auto assertionType = assertionTypeFromRaw(*type);
    if (!assertionType) {
        return Failure{where + ": unknown assertion type \"" + *type + "\"."};
    }
    profile.assertionType = *assertionType;

    if (const json* limit = optionalMember(entry, "batteryLimitOverride")) {
        profile.batteryLimitOverride = intValue(*limit);
        if (!profile.batteryLimitOverride) {
            // Only a number is worth showing; anything else is named by its type, never copied.
            return Failure{where + ": \"batteryLimitOverride\" is not an integer in range: " +
                            (limit->is_number() ? limit->dump() : std::string(limit->type_name()))};
        }
    }
    if (const json* key = optionalMember(entry, "localizationKey")) {
        if (!key->is_string()) {
            return Failure{where + ": \"localizationKey\" is not a string."};
        }
        profile.localizationKey = key->get<std::string>();
    }
    return profile;
}

Profile builtIn(const char* id, const char* name, Duration duration, AssertionType type, int limit,
                const char* key) {
    return {Uuid::parse(id).value(), name, duration, type, limit, key};
}

}  // namespace

Result<std::string> profilesToJson(const std::vector<Profile>& profiles) {
    auto array = json::array();
    for (const auto& p : profiles) {
        // The encoder would write an infinite number as null, which no reader takes back.
        if (p.duration.kind() == Duration::Kind::custom && !std::isfinite(p.duration.customSeconds())) {
            return Failure{"Profile \"" + p.name + "\" has a custom duration that is not a finite number."};
        }
        json entry = {{"id", p.id.toString()},
                      {"name", p.name},
                      {"duration", p.duration.toJson()},
                      {"assertionType", rawValue(p.assertionType)}};
        if (p.batteryLimitOverride) entry["batteryLimitOverride"] = *p.batteryLimitOverride;
        if (p.localizationKey) entry["localizationKey"] = *p.localizationKey;
        array.push_back(std::move(entry));
    }
    try {
        return array.dump();
    } catch (const json::exception& e) {  // text that is not UTF-8
        return Failure{withoutExceptionTag(e.what())};
    }
}

Result<std::vector<Profile>> profilesFromJson(std::string_view text) {
    const auto parsed = parseStoredJson(text);
    if (!parsed) return Failure{parsed.error()};
    if (!parsed->is_array()) {
        return Failure{"The profile list is not a JSON array."};
    }
    return json_errors::decodeEach<Profile>(*parsed, decodeProfile);
}

const std::vector<Profile>& defaultProfiles() {
    using K = Duration::Kind;
    static const std::vector<Profile> profiles = {
        builtIn("4D2B0001-0000-0000-0000-000000000001", "Presentation", Duration::indefinite(),
                AssertionType::noDisplaySleep, 15, "default_profile.presentation"),
        builtIn("4D2B0001-0000-0000-0000-000000000002", "Download", Duration::preset(K::eightHours),
                AssertionType::noIdleSleep, 0, "default_profile.download"),
        builtIn("4D2B0001-0000-0000-0000-000000000003", "Cooking", Duration::custom(2700),
                AssertionType::noDisplaySleep, 0, "default_profile.cooking"),
        builtIn("4D2B0001-0000-0000-0000-000000000004", "AI", Duration::indefinite(),
                AssertionType::noIdleSleep, 10, "default_profile.ai"),
    };
    return profiles;
}

std::string toString(const Profile& p) {
    std::string out = "Profile(" + p.id.toString() + ", \"" + p.name + "\", " + p.duration.toString() + ", " +
                      std::string(rawValue(p.assertionType));
    out += ", override " + (p.batteryLimitOverride ? std::to_string(*p.batteryLimitOverride) : "none");
    out += ", key " + (p.localizationKey ? "\"" + *p.localizationKey + "\"" : "none") + ")";
    return out;
}

}  // namespace torvel
