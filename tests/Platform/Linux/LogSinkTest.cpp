#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Linux/Desktop/JournalLogSink.h"
#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

using test::ScopedEnv;

struct Journal {
    std::mutex mutex;
    std::vector<std::vector<std::string>> entries;

    void capture(JournalLogSink::Options& options) {
        options.console = JournalLogSink::Console::never;
        options.journal = [this](const std::vector<std::string>& fields) {
            std::lock_guard lock(mutex);
            entries.push_back(fields);
            return 0;
        };
    }
    std::vector<std::string> messages() {
        std::vector<std::string> out;
        for (const auto& entry : entries) out.push_back(entry.at(0));
        return out;
    }
};

TEST(JournalLogSink, SendsPriorityIdentifierSubsystemAndCategoryForEachLevel) {
    Journal journal;
    JournalLogSink::Options options;
    options.minimum = LogLevel::debug;
    journal.capture(options);
    JournalLogSink sink(options);
    sink.write(LogLevel::debug, "AppState", "evaluating");
    sink.write(LogLevel::info, "Battery", "on battery\nat 20 %");
    sink.write(LogLevel::error, "SleepPrevention", "inhibit failed");
    const auto entry = [](const char* message, const char* priority, const char* category) {
        return std::vector<std::string>{std::string("MESSAGE=") + message,
                                        std::string("PRIORITY=") + priority, "SYSLOG_IDENTIFIER=torvel",
                                        "TORVEL_SUBSYSTEM=com.torvel",
                                        std::string("TORVEL_CATEGORY=") + category};
    };
    EXPECT_THAT(journal.entries, ElementsAre(entry("evaluating", "7", "AppState"),
                                             entry("on battery\nat 20 %", "6", "Battery"),
                                             entry("inhibit failed", "3", "SleepPrevention")));
}

TEST(JournalLogSink, TheEnvironmentSetsTheMinimumLevelAndWhetherPrivateArgumentsShow) {
    // What a sink set up from the environment sends when `name` is `value`.
    const auto sent = [](const char* name, const std::optional<std::string>& value) {
        ScopedEnv env(name, value);
        Journal journal;
        auto options = JournalLogSink::optionsFromEnvironment();
        journal.capture(options);
        JournalLogSink sink(options);
        sink.write(LogLevel::debug, "T", "d");
        Logger(sink, "WiFi").info("Joined {} at {}", Private{"Home Wi-Fi"}, 3);
        sink.write(LogLevel::error, "T", "e");
        return journal.messages();
    };
    const std::string hidden = "MESSAGE=Joined <private> at 3";
    const std::vector<std::pair<std::optional<std::string>, std::vector<std::string>>> levels = {
        {std::nullopt, {hidden, "MESSAGE=e"}},
        {"bogus", {hidden, "MESSAGE=e"}},
        {"debug", {"MESSAGE=d", hidden, "MESSAGE=e"}},
        {"error", {"MESSAGE=e"}},
    };
    for (const auto& [level, expected] : levels)
        EXPECT_EQ(sent("TORVEL_LOG_LEVEL", level), expected)
            << "TORVEL_LOG_LEVEL=" << level.value_or("(unset)");
    // Private arguments show only with TORVEL_LOG_PRIVATE exactly "1".
    for (const auto& reveal : std::vector<std::optional<std::string>>{std::nullopt, "0", "true", "1 "})
        EXPECT_THAT(sent("TORVEL_LOG_PRIVATE", reveal), Contains(hidden)) << reveal.value_or("(unset)");
    EXPECT_THAT(sent("TORVEL_LOG_PRIVATE", "1"), Contains("MESSAGE=Joined Home Wi-Fi at 3"));
}

TEST(JournalLogSink, ConsoleLinesShowTimeLevelAndCategoryWhenAsked) {
    for (auto mode : {JournalLogSink::Console::always, JournalLogSink::Console::automatic,
                      JournalLogSink::Console::never}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        Journal journal;
        JournalLogSink::Options options;
        journal.capture(options);
        options.console = mode;  // automatic: a file is no terminal, and the journal is there
        options.consoleStream = file;
        {
            JournalLogSink sink(options);
            sink.write(LogLevel::info, "AppState", "activated");
            sink.write(LogLevel::error, "Battery", "no reading");
        }
        std::rewind(file);
        std::vector<std::string> lines;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, file))
            lines.emplace_back(buffer, std::strcspn(buffer, "\n"));
        std::fclose(file);
        if (mode == JournalLogSink::Console::always) {
            EXPECT_THAT(
                lines, ElementsAre(MatchesRegex(
                                       "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} info \\[AppState\\] activated"),
                                   MatchesRegex(".* error \\[Battery\\] no reading")));
        } else {
            EXPECT_TRUE(lines.empty());
        }
        EXPECT_EQ(journal.entries.size(), 2u);
    }
}

}  // namespace
}  // namespace torvel
