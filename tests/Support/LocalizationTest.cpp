#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Support/Localization.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSystemLocale.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

TEST(Localization, ResolvesTheFirstSupportedSystemLanguage) {
    const std::vector<std::string> supported = {"cs", "en"};
    EXPECT_EQ(
        Localization::resolvedSystemLanguageCode({"de_DE.UTF-8", "cs_CZ.UTF-8", "en_US"}, supported, "en"),
        "cs");
    EXPECT_EQ(Localization::resolvedSystemLanguageCode({"de-DE", "fr"}, supported, "en"), "en");
    EXPECT_EQ(Localization::resolvedSystemLanguageCode({"CS@euro"}, supported, "en"), "cs");
    EXPECT_EQ(Localization::resolvedSystemLanguageCode({"", "_", "en"}, supported, "cs"), "en");
    EXPECT_EQ(Localization::resolvedSystemLanguageCode({}, supported, "en"), "en");
}

TEST(Localization, MissingKeysShowTheKeyAndFormatsFillArguments) {
    CapturingLogSink log;
    Localization texts(log);
    texts.setTable({{"a", "Battery %ld%% — %@"}, {"b", "%2$@ before %1$@"}});
    EXPECT_EQ(texts.format("a", {20LL, std::string("ok")}), "Battery 20% — ok");
    EXPECT_EQ(texts.format("b", {std::string("one"), std::string("two")}), "two before one");
    EXPECT_EQ(texts.format("missing.key_%ld", {5LL}), "missing.key_%ld");
    EXPECT_EQ(texts.text("menu.nothing"), "menu.nothing");
    EXPECT_TRUE(log.contains("Localization", "Missing localization for key: menu.nothing"));
    // Too few arguments leave the placeholder rather than reading past the list.
    EXPECT_EQ(Localization::fill("%@ and %@ %", {std::string("x")}), "x and %@ %");
}

TEST(Localization, SwitchingLanguageLoadsItsTableAndTellsObserversOnce) {
    const fs::path resources = fs::path(TORVEL_SOURCE_ROOT) / "resources";
    CapturingLogSink log;
    SimSystemLocale locale;
    locale.setPreferredLanguages({"de_DE.UTF-8", "cs_CZ.UTF-8"});
    Localization texts(log, resources, &locale);
    int changes = 0;
    auto connection = texts.languageChanged.connect([&] { ++changes; });

    texts.updateBundle(AppLanguage::system);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(texts.languageCode(), "cs");
    const std::string czech = texts.text("menu.quit");
    texts.updateBundle(AppLanguage::en);
    EXPECT_EQ(changes, 2);
    EXPECT_NE(texts.text("menu.quit"), czech);
    EXPECT_FALSE(log.contains("Localization", "Missing"));
}

TEST(Localization, AMissingTableFallsBackToEnglishKeepingTheLanguage) {
    const fs::path resources = fs::path(TORVEL_SOURCE_ROOT) / "resources";
    const fs::path dir = fs::temp_directory_path() /
                         ("torvel-l10n-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir / "i18n");
    fs::copy_file(resources / "i18n" / "en.json", dir / "i18n" / "en.json",
                  fs::copy_options::overwrite_existing);

    CapturingLogSink log;
    Localization texts(log, dir);
    texts.updateBundle(AppLanguage::cs);
    EXPECT_EQ(texts.languageCode(), "cs");
    EXPECT_TRUE(log.contains("Localization", "Missing cs.lproj bundle — falling back to main bundle"));
    EXPECT_NE(texts.text("menu.quit"), "menu.quit");

    std::ofstream(dir / "i18n" / "en.json") << "{ not json";
    texts.updateBundle(AppLanguage::en);  // unreadable: keys show as themselves, nothing crashes
    EXPECT_EQ(texts.text("menu.quit"), "menu.quit");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace torvel
