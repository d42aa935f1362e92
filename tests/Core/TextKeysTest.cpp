#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace torvel {
namespace {

namespace fs = std::filesystem;

// Every text key written in the code, found by its prefix.
std::set<std::string> keysUsedInCode(const fs::path& src) {
    static const std::regex literal(
        R"re("((?:a11y|assertion|custom|default_profile|duration|error|intent|menu|notification|onboarding|profile|reason|settings|thermal)\.[a-z0-9_.]+)")re");
    std::set<std::string> keys;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string content = text.str();
        for (std::sregex_iterator it(content.begin(), content.end(), literal), end; it != end; ++it) {
            keys.insert((*it)[1]);
        }
    }
    return keys;
}

TEST(TextKeys, EveryKeyTheCodeUsesIsInBothTables) {
    const fs::path root(TORVEL_SOURCE_ROOT);
    const auto used = keysUsedInCode(root / "src");
    EXPECT_GT(used.size(), 10u) << "the key scan found almost nothing";
    for (const char* language : {"en", "cs"}) {
        std::ifstream in(root / "resources" / "i18n" / (std::string(language) + ".json"));
        const auto table = nlohmann::json::parse(in, nullptr, false);
        ASSERT_TRUE(table.is_object()) << language;
        for (const auto& key : used) EXPECT_TRUE(table.contains(key)) << language << ".json lacks " << key;
    }
}

}  // namespace
}  // namespace torvel
