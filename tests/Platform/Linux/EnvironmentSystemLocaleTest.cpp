#include "Platform/Linux/EnvironmentSystemLocale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace torvel {
namespace {

/// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(const std::map<std::string, std::optional<std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(EnvironmentSystemLocaleTest, PreferredLanguagesFollowGettextsOrder) {
    {
        LocaleEnvironment env({{"LANGUAGE", "cs:en_GB"},
                               {"LC_ALL", std::nullopt},
                               {"LC_MESSAGES", std::nullopt},
                               {"LANG", "de_DE.UTF-8"}});
        const auto languages = EnvironmentSystemLocale().preferredLanguages();
        ASSERT_GE(languages.size(), 2u);
        EXPECT_EQ(languages[0], "cs");
        EXPECT_EQ(languages[1], "en_GB");
    }
    {
        // In the C locale gettext ignores LANGUAGE, and "C" itself names no language.
        LocaleEnvironment env(
            {{"LANGUAGE", "cs"}, {"LC_ALL", "C"}, {"LC_MESSAGES", std::nullopt}, {"LANG", "C"}});
        EXPECT_TRUE(EnvironmentSystemLocale().preferredLanguages().empty());
    }
}

TEST(EnvironmentSystemLocaleTest, SystemSettingsCountOnlyWhenTheEnvironmentNamesNoLanguage) {
    EnvironmentSystemLocale locale;
    {
        LocaleEnvironment env({{"LANGUAGE", std::nullopt},
                               {"LC_ALL", std::nullopt},
                               {"LC_MESSAGES", "POSIX"},
                               {"LANG", "C.UTF-8"}});
        EXPECT_TRUE(
            locale.setSystemSettings({"LANG=de_DE.UTF-8", "LC_MESSAGES=cs_CZ.UTF-8", "LANGUAGE=sk:cs"}));
        EXPECT_EQ(locale.preferredLanguages(), (std::vector<std::string>{"sk", "cs", "cs_CZ.UTF-8"}));
        EXPECT_FALSE(
            locale.setSystemSettings({"LANG=de_DE.UTF-8", "LC_MESSAGES=cs_CZ.UTF-8", "LANGUAGE=sk:cs"}))
            << "the same setting again is no change";
        // Hostile entries: no name, no "=", an oversized value.
        EXPECT_TRUE(locale.setSystemSettings({"=cs", "LANG", "LANG=" + QString(200, 'x'), "LC_TIME=cs_CZ"}));
        EXPECT_TRUE(locale.preferredLanguages().empty());
    }
    {
        LocaleEnvironment env({{"LANGUAGE", std::nullopt},
                               {"LC_ALL", std::nullopt},
                               {"LC_MESSAGES", std::nullopt},
                               {"LANG", "en_GB.UTF-8"}});
        EXPECT_FALSE(locale.setSystemSettings({"LANG=cs_CZ.UTF-8"})) << "the environment's language wins";
        EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"en_GB.UTF-8"});
    }
}

TEST(EnvironmentSystemLocaleTest, NamesCompareAndMatchWithoutRegardToCase) {
    const EnvironmentSystemLocale locale;
    EXPECT_LT(locale.compareIgnoringCase("alpha", "Beta"), 0) << "lower case sorts among capitals";
    EXPECT_GT(locale.compareIgnoringCase("beta", "Alpha"), 0);
    EXPECT_EQ(locale.compareIgnoringCase("Safari", "safari"), 0);
    EXPECT_TRUE(locale.containsIgnoringCase("Safari", "SAF"));
    EXPECT_TRUE(locale.containsIgnoringCase("Čajník", "čAJ")) << "case folding beyond ASCII";
    EXPECT_TRUE(locale.containsIgnoringCase("Editor", ""));
    EXPECT_FALSE(locale.containsIgnoringCase("Editor", "Player"));
}

}  // namespace
}  // namespace torvel
