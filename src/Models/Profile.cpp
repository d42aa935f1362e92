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

using json_errors::fail;
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
const std::string* requiredString(const json& entry, const char* key, const std::string& where,
                                  std::string* error) {
    const auto it = entry.find(key);
    if (it == entry.end()) {
        fail(error, where + ": missing key \"" + key + "\".");
        return nullptr;
    }
    if (!it->is_string()) {
        fail(error, where + ": \"" + key + "\" is not a string.");
        return nullptr;
    }
    return it->get_ptr<const std::string*>();
}

// An optional member: missing and null both mean absent.
const json* optionalMember(const json& entry, const char* key) {
    const auto it = entry.find(key);
    return it == entry.end() || it->is_null() ? nullptr : &*it;
}

std::optional<Profile> decodeProfile(const json& entry, std::size_t index, std::string* error) {
    const std::string where = "Profile " + std::to_string(index + 1);
    if (!entry.is_object()) {
        fail(error, where + " is not a JSON object.");
        return std::nullopt;
    }
    const std::string* id = requiredString(entry, "id", where, error);
    if (!id) return std::nullopt;
    const std::string* name = requiredString(entry, "name", where, error);
    if (!name) return std::nullopt;
    const auto duration = entry.find("duration");
    if (duration == entry.end()) {
        fail(error, where + ": missing key \"duration\".");
        return std::nullopt;
    }
    const std::string* type = requiredString(entry, "assertionType", where, error);
    if (!type) return std::nullopt;

    Profile profile;
    const auto uuid = Uuid::parse(*id);
    if (!uuid) {
        fail(error, where + ": \"" + *id + "\" is not a UUID.");
        return std::nullopt;
    }
    profile.id = *uuid;
    profile.name = *name;
    std::string durationError;
    auto decodedDuration = Duration::fromJson(*duration, &durationError);
    if (!decodedDuration) {
        fail(error, where + ": unreadable \"duration\": " + durationError);
        return std::nullopt;
    }
    profile.duration = *decodedDuration;
    const auto assertionType = assertionTypeFromRaw(*type);
    if (!assertionType) {
        fail(error, where + ": unknown assertion type \"" + *type + "\".");
        return std::nullopt;
    }
    profile.assertionType = *assertionType;

    if (const json* limit = optionalMember(entry, "batteryLimitOverride")) {
        profile.batteryLimitOverride = intValue(*limit);
        if (!profile.batteryLimitOverride) {
            // Only a number is worth showing; anything else is named by its type, never copied.
            fail(error, where + ": \"batteryLimitOverride\" is not an integer in range: " +
                            (limit->is_number() ? limit->dump() : std::string(limit->type_name())));
            return std::nullopt;
        }
    }
    if (const json* key = optionalMember(entry, "localizationKey")) {
        if (!key->is_string()) {
            fail(error, where + ": \"localizationKey\" is not a string.");
            return std::nullopt;
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

std::optional<std::string> profilesToJson(const std::vector<Profile>& profiles, std::string* error) {
    auto array = json::array();
    for (const auto& p : profiles) {
        // The encoder would write an infinite number as null, which no reader takes back.
        if (p.duration.kind() == Duration::Kind::custom && !std::isfinite(p.duration.customSeconds())) {
            fail(error, "Profile \"" + p.name + "\" has a custom duration that is not a finite number.");
            return std::nullopt;
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
        fail(error, withoutExceptionTag(e.what()));
        return std::nullopt;
    }
}

std::optional<std::vector<Profile>> profilesFromJson(std::string_view text, std::string* error) {
    const auto parsed = parseStoredJson(text, error);
    if (!parsed) return std::nullopt;
    if (!parsed->is_array()) {
        fail(error, "The profile list is not a JSON array.");
        return std::nullopt;
    }
    return json_errors::decodeEach<Profile>(*parsed, decodeProfile, error);
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
