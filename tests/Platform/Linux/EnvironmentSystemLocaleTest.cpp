#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>
#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

using LocaleEnvironment = test::ScopedEnv;

TEST(EnvironmentSystemLocaleTest, PreferredLanguagesFollowGettextWhichIgnoresLanguageOnlyInPlainC) {
    using Languages = std::vector<std::string>;
    const auto unset = std::nullopt;
    const struct {
        const char* name;
        std::optional<std::string> language, all, messages, lang;
        Languages expected;
    } cases[] = {
        {"LANGUAGE ahead of LANG", "cs:en_GB", unset, unset, "de_DE.UTF-8", {"cs", "en_GB", "de_DE.UTF-8"}},
        // C.UTF-8 (in any spelling of its code set) is a locale that names no language.
        {"C.UTF-8", "cs", unset, unset, "C.UTF-8", {"cs"}},
        {"C.utf8 in LC_ALL", "cs:de", "C.utf8", unset, "en_US.UTF-8", {"cs", "de"}},
        {"plain C", "cs", unset, unset, "C", {}},
        {"POSIX", "cs", unset, unset, "POSIX", {}},
        {"no locale at all", "cs", unset, unset, unset, {}},
        {"empty variables count as unset", "cs", "", "", "", {}},
        // LC_ALL, then LC_MESSAGES, then LANG decide the locale; the first set one wins even when C.
        {"LC_MESSAGES C over LANG", "cs", unset, "C", "de_DE.UTF-8", {}},
        {"LC_ALL over the rest", "cs", "de_DE.UTF-8", "C", "C", {"cs", "de_DE.UTF-8"}},
        {"empty LC_ALL passes on", unset, "", "cs_CZ.UTF-8", "en_US.UTF-8", {"cs_CZ.UTF-8"}},
        // "C" in the list ends it: gettext shows the untranslated texts from there.
        {"C in LANGUAGE", "C:cs", unset, unset, "cs_CZ.UTF-8", {"en", "cs_CZ.UTF-8"}},
    };
    for (const auto& c : cases) {
        LocaleEnvironment env(
            {{"LANGUAGE", c.language}, {"LC_ALL", c.all}, {"LC_MESSAGES", c.messages}, {"LANG", c.lang}});
        EXPECT_EQ(EnvironmentSystemLocale().preferredLanguages(), c.expected) << c.name;
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
