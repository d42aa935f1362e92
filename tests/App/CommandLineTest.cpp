#include "App/CommandLine.h"
#include "App/SimulationService.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

using Action = CommandLine::Action;

using Args = std::vector<std::string>;

CommandLine parse(const Args& args) { return CommandLine::parse(args); }

TEST(CommandLineTest, ReadsEachCommandIntoTheCallItMakes) {
    const struct {
        Args args;
        Action action;
        std::string mode = "indefinite", value = {};
        Args operands = {};
    } cases[] = {
        {{"activate"}, Action::activate},
        {{"activate", "--duration", "1800"}, Action::activate, "duration", "1800"},
        {{"activate", "--duration", "0.5"}, Action::activate, "duration", "0.5"},
        {{"activate", "--until", "07:30"}, Action::activate, "until", "07:30"},
        {{"activate", "--profile", "Deep Work"}, Action::activate, "profile", "Deep Work"},
        {{"deactivate"}, Action::deactivate},
        {{"status"}, Action::status},
        {{}, Action::run},
        {{"--platform", "sim"}, Action::run},
        {{"keep-awake-while", "Firefox"}, Action::keepAwakeWhile, "indefinite", "", {"Firefox"}},
        {{"config", "list"}, Action::configList},
        {{"config", "get", "guardianHours"}, Action::configGet, "indefinite", "", {"guardianHours"}},
        {{"config", "set", "guardianHours", "4"}, Action::configSet, "indefinite", "", {"guardianHours", "4"}},
        {{"sim"}, Action::simulate},
        {{"sim", "battery=15", "ac=off"}, Action::simulate, "indefinite", "", {"battery=15", "ac=off"}},
        {{"about"}, Action::showAbout},
        {{"settings"}, Action::showSettings},
        {{"settings", "--tab", "general"}, Action::showSettings, "indefinite", "general"},
        {{"settings", "--tab", "activation"}, Action::showSettings, "indefinite", "activation"},
        {{"settings", "--tab", "battery"}, Action::showSettings, "indefinite", "battery"},
        {{"settings", "--tab", "audio"}, Action::showSettings, "indefinite", "audio"},
        {{"settings", "--tab", "profiles"}, Action::showSettings, "indefinite", "profiles"},
    };
    for (const auto& c : cases) {
        const auto line = parse(c.args);
        std::string shown;
        for (const auto& arg : c.args) shown += arg + " ";
        SCOPED_TRACE(shown);
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.mode, c.mode);
        EXPECT_EQ(line.value, c.value);
        EXPECT_EQ(line.operands, c.operands);
    }
    EXPECT_TRUE(parse({"status", "--json"}).json);
    EXPECT_TRUE(parse({"apps", "--json"}).json);
    EXPECT_EQ(parse({"torvel://activate?duration=60"}).text, "torvel://activate?duration=60");
    EXPECT_EQ(parse({"--headless", "--platform", "sim"}).machine, AppDelegate::Machine::simulated);
    EXPECT_EQ(parse({"--headless"}).machine, AppDelegate::Machine::desktop);
    // The environment picks the machine of an instance that a URL starts; --platform still wins.
    EXPECT_EQ(CommandLine::parse({}, "sim").machine, AppDelegate::Machine::simulated);
    EXPECT_EQ(CommandLine::parse({"--platform", "linux"}, "sim").machine, AppDelegate::Machine::desktop);
    EXPECT_EQ(CommandLine::parse({}, "").machine, AppDelegate::Machine::desktop);
    EXPECT_EQ(CommandLine::parse({}, "windows").action, Action::usage);
    EXPECT_EQ(CommandLine::parse({"status"}, "windows").action, Action::status);
}

TEST(CommandLineTest, RefusesWhatTheInstanceWouldMisreadAsUsageErrors) {
    const Args wrong[] = {
        {"activate", "--duration"}, {"activate", "--duration", "-5"}, {"activate", "--duration", "0"},
        {"activate", "--duration", "30m"}, {"activate", "--duration", "inf"},
        {"activate", "--duration", " 60"}, {"activate", "--duration", "60 "},  // as URLs and D-Bus read them
        {"activate", "--duration", "\t60"}, {"activate", "--until", "7"}, {"activate", "--until", "24:00"},
        {"activate", "--profile", ""}, {"activate", "--duration", "60", "--profile", "x"}, {"activate", "now"},
        {"deactivate", "all"}, {"status", "--yaml"}, {"--headless", "--platform", "mac"},
        {"--headless", "--platform"}, {"--version", "x"}, {"sleep"}, {"torvel://activate", "extra"},
        {"https://example.com"}, {"keep-awake-while"}, {"keep-awake-while", ""},
        {"keep-awake-while", "a", "b"}, {"apps", "--all"}, {"config"}, {"config", "get"},
        {"config", "set", "guardianHours"}, {"config", "remove", "guardianHours"}, {"sim", "battery"},
        {"--headless", "status"}, {"settings", "--tab"}, {"settings", "--tab", "wifi"},
        {"settings", "--tab", "Battery"}, {"settings", "--tab", "battery", "--tab", "audio"},
        {"settings", "battery"}, {"about", "now"}};
    for (const auto& args : wrong) {
        const auto line = parse(args);
        EXPECT_EQ(line.action, Action::usage) << args.front() << " " << args.back();
        EXPECT_FALSE(line.text.empty()) << args.back();
    }
    for (const char* command :
         {"activate", "deactivate", "status", "keep-awake-while", "apps", "config", "sim", "settings", "about"}) {
        const auto line = parse({command, "--help"});
        EXPECT_EQ(line.action, Action::help);
        EXPECT_NE(line.text.find(std::string("torvel ") + command), std::string::npos);
    }
}

TEST(CommandLineTest, UsageErrorsRepeatArgumentsWithoutWhatATerminalActsOn) {
    // A window title, a C1 CSI clearing the screen, a right-to-left override.
    const std::string evil = "\x1b]0;owned\x07\xC2\x9B" "2J\xE2\x80\xAE" "exe";
    const Args wrong[] = {{evil},           {"--headless", evil},          {"--platform", evil},
                          {"--screenshot", "/tmp/x", "--lang", evil}, {"status", evil}, {"activate", evil},
                          {"activate", "--duration", evil}, {"sim", evil}, {"settings", "--tab", evil}};
    for (const auto& args : wrong) {
        const auto line = parse(args);
        ASSERT_EQ(line.action, Action::usage) << args.front();
        EXPECT_NE(line.text.find("']0;owned2Jexe'"), std::string::npos) << line.text;
        for (const char* raw : {"\x1b", "\x07", "\xC2\x9B", "\xE2\x80\xAE"})
            EXPECT_EQ(line.text.find(raw), std::string::npos) << args.front() << ": " << line.text;
    }
}

TEST(CommandLineTest, SimulatedChangesApplyAllOrNone) {
    using K = SimulatedChange::Kind;
    const auto parsed = parseSimulatedChanges({"battery=15", "ac=off", "lid=closed", "display=2", "thermal=serious",
                                              "wifi=Office Net", "launch=org.example.Editor:Editor", "battery=none"});
    ASSERT_FALSE(parsed.error) << *parsed.error;
    ASSERT_EQ(parsed.changes.size(), 8u);
    EXPECT_EQ(parsed.changes[0].kind, K::battery);
    EXPECT_EQ(parsed.changes[0].number, 15);
    EXPECT_FALSE(parsed.changes[1].flag);
    EXPECT_TRUE(parsed.changes[2].flag);
    EXPECT_EQ(parsed.changes[3].number, 2);
    EXPECT_EQ(parsed.changes[4].thermal, ThermalState::serious);
    EXPECT_EQ(parsed.changes[5].text, "Office Net");
    EXPECT_EQ(parsed.changes[6].text, "org.example.Editor");
    EXPECT_EQ(parsed.changes[6].name, "Editor");
    EXPECT_EQ(parsed.changes[7].kind, K::noBattery);

    for (const std::string bad : {"battery=101", "battery=-1", "battery=15%", "ac=maybe", "lid=shut", "display=x",
                                  "thermal=hot", "wifi=", "wifi=a\nb", "launch=", "estimate=-5", "volume=3", "=1"}) {
        const auto result = parseSimulatedChanges({"battery=50", bad});
        EXPECT_TRUE(result.error) << bad;
        EXPECT_TRUE(result.changes.empty()) << bad << ": nothing may apply when one assignment is wrong";
    }
    // A huge or raw assignment comes back in the error only short and without control characters.
    const auto huge = parseSimulatedChanges({"wifi=\x1b[2J" + std::string(100000, 'x')});
    ASSERT_TRUE(huge.error);
    EXPECT_LT(huge.error->size(), 400u);
    EXPECT_EQ(huge.error->find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace torvel
