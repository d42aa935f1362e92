// Checks the shipped string tables (resources/i18n/<lang>.json) against each other, against the keys
// the code uses and against the format arguments it passes to Localization::format().

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using Table = std::map<std::string, std::string>;

// Reads one table; fails the calling test when it is missing or not a flat, sorted object of strings
// without duplicate keys.
void loadTable(const std::string& lang, Table& out) {
    const std::string path = std::string(TORVEL_SOURCE_ROOT) + "/resources/i18n/" + lang + ".json";
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot open " << path;

    std::vector<std::string> keyOrder;
    const nlohmann::json::parser_callback_t recordKeys =
        [&keyOrder](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
            if (event == nlohmann::json::parse_event_t::key && depth == 1)
                keyOrder.push_back(parsed.get<std::string>());
            return true;
        };
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(in, recordKeys);
    } catch (const nlohmann::json::parse_error& e) {
        FAIL() << path << ": " << e.what();
    }
    ASSERT_TRUE(doc.is_object()) << path << " is not a JSON object";
    EXPECT_TRUE(std::is_sorted(keyOrder.begin(), keyOrder.end())) << path << ": keys are not sorted";
    EXPECT_EQ(std::set<std::string>(keyOrder.begin(), keyOrder.end()).size(), keyOrder.size())
        << path << ": duplicate keys";
    for (const auto& [key, value] : doc.items()) {
        ASSERT_TRUE(value.is_string()) << lang << " " << key << ": not a string";
        out[key] = value.get<std::string>();
    }
}

// The argument kinds a text expects, in argument order: '@' for a string, 'l' for an integer.
// Sets `error` for a '%' that is neither "%%" nor a well-formed placeholder, for positional and
// sequential placeholders mixed in one text, and for positions that skip or repeat an argument.
std::string signature(const std::string& text, std::string& error) {
    static const std::regex placeholder(R"(%(?:([0-9]+)\$)?(@|ld|%)|%)");
    std::map<std::size_t, char> byPosition;
    std::string sequential;
    for (std::sregex_iterator it(text.begin(), text.end(), placeholder), end; it != end; ++it) {
        const auto& m = *it;
        const bool positional = m[1].matched;
        if (!m[2].matched || (positional && (m[2] == "%" || std::stoul(m[1]) == 0))) {
            error = "stray or malformed '%' at offset " + std::to_string(m.position());
            return {};
        }
        if (m[2] == "%") continue;
        const char kind = m[2] == "@" ? '@' : 'l';
        if (!positional) {
            sequential += kind;
        } else if (!byPosition.emplace(std::stoul(m[1]), kind).second) {
            error = "argument " + m[1].str() + " used twice";
            return {};
        }
    }
    if (!byPosition.empty() && !sequential.empty()) {
        error = "positional and sequential placeholders mixed";
        return {};
    }
    std::string kinds = sequential;
    for (const auto& [position, kind] : byPosition) {
        if (position != kinds.size() + 1) {
            error = "argument " + std::to_string(kinds.size() + 1) + " is never used";
            return {};
        }
        kinds += kind;
    }
    return kinds;
}

// Every text key written in the code, found by its prefix.
std::set<std::string> keysUsedInCode() {
    static const std::regex literal(
        R"re("((?:a11y|assertion|custom|default_profile|duration|error|intent|menu|notification|onboarding|profile|reason|settings|thermal)\.[a-z0-9_.]+)")re");
    std::set<std::string> keys;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TORVEL_SOURCE_ROOT "/src")) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        std::ifstream in(entry.path());
        const std::string content{std::istreambuf_iterator<char>(in), {}};
        for (std::sregex_iterator it(content.begin(), content.end(), literal), end; it != end; ++it) {
            keys.insert((*it)[1]);
        }
    }
    return keys;
}

TEST(StringTables, EnglishAndCzechHaveTheSameTidyKeysAndEveryKeyTheCodeUses) {
    Table en, cs;
    ASSERT_NO_FATAL_FAILURE(loadTable("en", en));
    ASSERT_NO_FATAL_FAILURE(loadTable("cs", cs));
    ASSERT_FALSE(en.empty());
    for (const auto& [key, text] : en) {
        if (!cs.count(key)) ADD_FAILURE() << "missing in cs: " << key;
    }
    for (const auto& [key, text] : cs) {
        if (!en.count(key)) ADD_FAILURE() << "missing in en: " << key;
    }

    const std::regex keyShape("[a-z0-9_]+(\\.[a-z0-9_]+)+");
    for (const auto& [key, text] : en) {
        EXPECT_TRUE(std::regex_match(key, keyShape)) << "not a localisation key: " << key;
    }
    for (const auto* table : {&en, &cs}) {
        for (const auto& [key, text] : *table) {
            EXPECT_FALSE(text.empty()) << key << ": empty text";
            EXPECT_TRUE(text.find_first_not_of(" \t\n") == 0 &&
                        text.find_last_not_of(" \t\n") == text.size() - 1)
                << key << ": leading or trailing white space";
        }
    }

    const auto used = keysUsedInCode();
    EXPECT_GT(used.size(), 10u) << "the key scan found almost nothing";
    for (const auto& key : used) EXPECT_TRUE(en.count(key)) << "the tables lack " << key;
}

TEST(StringTables, FormatTextsTakeTheArgumentsTheirCallersPass) {
    // Keys filled through Localization::format(), with the kinds of their arguments in order
    // ('@' string, 'l' integer). Every other key is looked up without arguments.
    const std::map<std::string, std::string> formats = {
        {"a11y.tooltip_remaining", "@"},
        {"duration.short.hours", "l"},
        {"duration.short.minutes", "l"},
        {"duration.short.seconds", "l"},
        {"duration.until", "@"},
        {"error.assertion_failed", "l"},
        {"error.screensaver_failed", "l"},
        {"menu.active_remaining", "@"},
        {"menu.battery_estimate", "@"},
        {"menu.sleep_blockers_more", "l"},
        {"menu.trusted_wifi_current_trusted", "@"},
        {"menu.trusted_wifi_current_untrusted", "@"},
        {"notification.battery_denied", "l"},
        {"notification.battery_soft_limit", "l"},
        {"notification.emergency_alarm_unavailable", "l"},
        {"notification.emergency_sleep", "l@"},
        {"notification.emergency_terminated", "@"},
        {"notification.guardian_reminder", "l"},
        {"notification.predictive_warning", "ll"},
        {"notification.thermal_throttle.body", "@"},
        {"notification.url_scheme_error", "@"},
        {"profile.battery_limit_value", "l"},
        {"profile.copy_name", "@"},
        {"settings.battery_limit", "l"},
        {"settings.delete_profile_message", "@"},
        {"settings.guardian_hours", "l"},
        {"settings.predictive_minutes", "l"},
        {"settings.trusted_networks.remove_message", "@"},
        {"settings.trusted_networks.stayguard_install_failed", "@"},
        {"settings.trusted_networks.stayguard_install_validation_failed", "@"},
        {"settings.trusted_networks.stayguard_lid_other_holder", "@@@"},
        {"settings.trusted_networks.status_current_trusted", "@"},
        {"settings.trusted_networks.status_current_untrusted", "@"},
    };
    for (const char* lang : {"en", "cs"}) {
        Table table;
        ASSERT_NO_FATAL_FAILURE(loadTable(lang, table));
        for (const auto& [key, kinds] : formats) EXPECT_TRUE(table.count(key)) << lang << ": missing " << key;
        for (const auto& [key, text] : table) {
            auto it = formats.find(key);
            std::string error;
            const std::string kinds = signature(text, error);
            EXPECT_EQ(error, "") << lang << " " << key << ": \"" << text << "\"";
            EXPECT_EQ(kinds, it == formats.end() ? "" : it->second)
                << lang << " " << key << ": \"" << text << "\"";
            // Texts without arguments are shown as they stand, so "%%" would not collapse there.
            if (it == formats.end()) {
                EXPECT_EQ(text.find('%'), std::string::npos) << lang << " " << key;
            }
        }
    }
}

}  // namespace
