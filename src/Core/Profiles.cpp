#include "Core/Profiles.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "Core/Settings.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {

constexpr std::string_view kProfilesKey = "profiles";
constexpr std::string_view kMigratedKey = "profilesMigratedToV2";
constexpr std::string_view kAiSeededKey = "aiProfileSeeded";
constexpr std::string_view kAiKey = "default_profile.ai";

// A built-in profile as versions before keys stored it: its English or Czech name and its settings.
struct MigrationRule {
    Duration duration;
    AssertionType assertionType;
    /// Limits the stored built-in may carry; an absent limit counts as 0.
    std::vector<int> batteryOverrides;
    std::array<std::string_view, 2> legacyNames;
    std::string_view localizationKey;
};

const std::array<MigrationRule, 3>& migrationRules() {
    static const std::array<MigrationRule, 3> rules = {{
        // The oldest lists hold Presentation without a limit, later ones with its 15 %.
        {Duration::indefinite(),
         AssertionType::noDisplaySleep,
         {0, 15},
         {"Prezentace", "Presentation"},
         "default_profile.presentation"},
        {Duration::preset(Duration::Kind::eightHours),
         AssertionType::noIdleSleep,
         {0},
         {"Stahování", "Download"},
         "default_profile.download"},
        {Duration::custom(2700),
         AssertionType::noDisplaySleep,
         {0},
         {"Vaření", "Cooking"},
         "default_profile.cooking"},
    }};
    return rules;
}

bool matches(const MigrationRule& rule, const Profile& p) {
    return p.duration == rule.duration && p.assertionType == rule.assertionType &&
           std::ranges::find(rule.batteryOverrides, p.batteryLimitOverride.value_or(0)) !=
               rule.batteryOverrides.end() &&
           std::ranges::find(rule.legacyNames, p.name) != rule.legacyNames.end();
}

const Profile& builtInAi() {
    return defaultProfiles().back();
}

// Trimmed of spaces, tabs and line breaks at both ends, as the name field may hold them.
std::string trimmed(const std::string& text) {
    constexpr std::string_view kBlank = " \t\n\r\v\f";
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

struct DecodedProfiles {
    std::vector<Profile> profiles;
    /// Every stored entry decoded.
    bool complete = false;
    /// Why not, when not.
    std::string error;
};

// The stored list, or as much of it as decodes entry by entry.
DecodedProfiles decodeStored(const DefaultsValue& stored) {
    DecodedProfiles out;
    const auto* data = std::get_if<DefaultsData>(&stored);
    if (!data) {
        out.error = "the stored value is not data";
        return out;
    }
    const std::string text = data->toString();
    auto all = profilesFromJson(text);
    if (all) return {std::move(all).value(), true, {}};
    out.error = all.error();
    // Bounded in depth, so that copying an entry out below cannot run away on a hostile file.
    const auto array = parseStoredJson(text);
    if (!array || !array->is_array()) return out;
    for (const auto& entry : *array) {
        const std::string one =
            "[" + entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "]";
        if (auto decoded = profilesFromJson(one); decoded && decoded->size() == 1)
            out.profiles.push_back(std::move(decoded->front()));
    }
    return out;
}

}  // namespace

std::string displayName(const Profile& profile, const Localization& texts) {
    return profile.localizationKey ? texts.text(*profile.localizationKey) : profile.name;
}

std::vector<Profile> migrateProfiles(std::vector<Profile> profiles, const Logger& log) {
    for (auto& profile : profiles) {
        if (profile.localizationKey) continue;
        for (const auto& rule : migrationRules()) {
            if (!matches(rule, profile)) continue;
            profile.localizationKey = std::string(rule.localizationKey);
            log.info("Migrated profile '{}' -> localizationKey '{}'", profile.name, rule.localizationKey);
            break;
        }
    }
    return profiles;
}

LoadedProfiles loadProfiles(DefaultsStore& store, const Logger& log, Date now) {
    LoadedProfiles loaded{defaultProfiles(), true};
    const auto stored = store.object(kProfilesKey);
    const auto unreadable = stored ? std::nullopt : store.unreadable(kProfilesKey);
    if (stored || unreadable) {
        auto decoded = stored ? decodeStored(*stored) : DecodedProfiles{{}, false, *unreadable};
        if (!decoded.complete) {
            // A list this version cannot read in full may come from a newer one or be damaged: keep the
            // whole of it before anything is written over it, and save what did decode only once it is kept.
            const auto aside = keepUnreadableAside(store, kProfilesKey, now);
            if (decoded.profiles.empty()) {
                log.error("Failed to decode profiles, resetting to defaults: {}", decoded.error);
            } else {
                log.error("Failed to decode profiles, keeping the {} that decode: {}",
                          decoded.profiles.size(), decoded.error);
                loaded.profiles = std::move(decoded.profiles);
                if (!store.boolValue(kMigratedKey)) {
                    loaded.profiles = migrateProfiles(std::move(loaded.profiles), log);
                    store.set(kMigratedKey, true);
                }
            }
            if (aside) {
                log.error("The stored profile list is kept under \"{}\" in the settings", *aside);
            } else {
                log.error("Could not keep the stored profile list aside; not overwriting it");
            }
            loaded.needsSave = aside.has_value();
            loaded.saveBlocked = !aside;
        } else if (!store.boolValue(kMigratedKey)) {
            loaded.profiles = migrateProfiles(std::move(decoded.profiles), log);
            store.set(kMigratedKey, true);
        } else {
            loaded = {std::move(decoded.profiles), false};
        }
    }

    // Once only, so that a user who deletes the AI profile does not get it back.
    if (!store.boolValue(kAiSeededKey)) {
        const bool present = std::any_of(
            loaded.profiles.begin(), loaded.profiles.end(),
            [](const Profile& p) { return p.id == builtInAi().id || p.localizationKey == kAiKey; });
        if (!present) {
            loaded.profiles.push_back(builtInAi());
            loaded.needsSave = true;
            log.info("Seeded built-in AI profile into existing profile list");
        }
        store.set(kAiSeededKey, true);
    }
    return loaded;
}

bool saveProfiles(DefaultsStore& store, const std::vector<Profile>& profiles, const Logger& log) {
    const auto json = profilesToJson(profiles);
    if (!json) {
        log.error("Failed to persist profiles: {}", json.error());
        return false;
    }
    return static_cast<bool>(store.set(kProfilesKey, DefaultsData::fromString(*json)));
}

std::string uniqueProfileCopyName(const Profile& source, const std::vector<Profile>& profiles,
                                  const Localization& texts) {
    const std::string base = texts.format("profile.copy_name", {displayName(source, texts)});
    std::unordered_set<std::string> taken;
    for (const auto& p : profiles) {
        taken.insert(displayName(p, texts));
        taken.insert(p.name);
    }
    if (!taken.count(base)) return base;
    // At most taken.size() candidates are taken, so this ends.
    for (std::size_t n = 2;; ++n) {
        std::string candidate = base + " " + std::to_string(n);
        if (!taken.count(candidate)) return candidate;
    }
}

Profile duplicateProfile(const Profile& source, const std::vector<Profile>& profiles,
                         const Localization& texts) {
    return {Uuid::random(),
            uniqueProfileCopyName(source, profiles, texts),
            source.duration,
            source.assertionType,
            source.batteryLimitOverride,
            std::nullopt};
}

ProfileDraft ProfileDraft::open(const Profile* existing, const Localization& texts) {
    ProfileDraft draft;
    if (!existing) return draft;
    draft.existingID = existing->id;
    draft.existingKey = existing->localizationKey;
    draft.shownName = displayName(*existing, texts);
    draft.storedName = existing->name;
    draft.duration = existing->duration;
    draft.assertionType = existing->assertionType;
    draft.overrideEnabled = existing->batteryLimitOverride.has_value();
    draft.overrideValue = existing->batteryLimitOverride.value_or(20);
    return draft;
}

Profile ProfileDraft::finish(std::string editedName) const {
    Profile record;
    record.id = existingID ? *existingID : Uuid::random();
    std::string name = trimmed(editedName);
    if (name == shownName) {
        record.name = storedName;
        record.localizationKey = existingKey;
    } else {
        record.name = std::move(name);
    }
    record.duration = duration;
    record.assertionType = assertionType;
    if (overrideEnabled) record.batteryLimitOverride = overrideValue;
    return record;
}

std::vector<Profile> storeEdited(std::vector<Profile> profiles, Profile edited) {
    const auto it =
        std::find_if(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == edited.id; });
    if (it != profiles.end()) {
        *it = std::move(edited);
    } else {
        profiles.push_back(std::move(edited));
    }
    return profiles;
}

std::vector<Profile> deleteProfile(std::vector<Profile> profiles, const Uuid& id) {
    std::erase_if(profiles, [&](const Profile& p) { return p.id == id; });
    return profiles;
}

}  // namespace torvel
