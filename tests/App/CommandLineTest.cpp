#include "App/CommandLine.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

using Action = CommandLine::Action;

CommandLine parse(std::vector<std::string> args) {
    return CommandLine::parse(args);
}

TEST(CommandLineTest, ReadsEachCommandIntoTheCallItMakes) {
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::string mode, value;
    };
    const std::vector<Case> cases = {
        {{"activate"}, Action::activate, "indefinite", ""},
        {{"activate", "--duration", "1800"}, Action::activate, "duration", "1800"},
        {{"activate", "--duration", "0.5"}, Action::activate, "duration", "0.5"},
        {{"activate", "--until", "07:30"}, Action::activate, "until", "07:30"},
        {{"activate", "--profile", "Deep Work"}, Action::activate, "profile", "Deep Work"},
        {{"deactivate"}, Action::deactivate, "indefinite", ""},
        {{"status"}, Action::status, "indefinite", ""},
    };
    for (const auto& c : cases) {
        const auto line = parse(c.args);
        EXPECT_EQ(line.action, c.action) << c.args.back();
        EXPECT_EQ(line.mode, c.mode) << c.args.back();
        EXPECT_EQ(line.value, c.value) << c.args.back();
    }
    EXPECT_TRUE(parse({"status", "--json"}).json);
    EXPECT_EQ(parse({"torvel://activate?duration=60"}).text, "torvel://activate?duration=60");
    EXPECT_EQ(parse({"--headless", "--platform", "sim"}).machine, AppDelegate::Machine::simulated);
    EXPECT_EQ(parse({"--headless"}).machine, AppDelegate::Machine::desktop);
    EXPECT_EQ(parse({}).action, Action::tray);
}

TEST(CommandLineTest, RefusesWhatTheInstanceWouldMisreadAsUsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {"activate", "--duration"},
        {"activate", "--duration", "-5"},
        {"activate", "--duration", "0"},
        {"activate", "--duration", "30m"},
        {"activate", "--duration", "inf"},
        {"activate", "--until", "7"},
        {"activate", "--until", "24:00"},
        {"activate", "--profile", ""},
        {"activate", "--duration", "60", "--profile", "x"},
        {"activate", "now"},
        {"deactivate", "all"},
        {"status", "--yaml"},
        {"--headless", "--platform", "mac"},
        {"--headless", "--platform"},
        {"--version", "x"},
        {"sleep"},
        {"torvel://activate", "extra"},
        {"https://example.com"},
    };
    for (const auto& args : wrong) {
        const auto line = parse(args);
        EXPECT_EQ(line.action, Action::usage) << args.back();
        EXPECT_FALSE(line.text.empty()) << args.back();
    }
    for (const char* command : {"activate", "deactivate", "status"}) {
        const auto line = parse({command, "--help"});
        EXPECT_EQ(line.action, Action::help);
        EXPECT_NE(line.text.find(std::string("torvel ") + command), std::string::npos);
    }
}

}  // namespace
}  // namespace torvel
