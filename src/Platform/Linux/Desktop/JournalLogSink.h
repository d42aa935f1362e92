#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Log.h"

namespace torvel {

/// Log lines to the systemd journal, with the subsystem and category as fields, so that
/// `journalctl -t torvel TORVEL_CATEGORY=AppState` shows one component; and to stderr (through
/// spdlog) when run from a terminal. Thread-safe.
class JournalLogSink : public LogSink {
public:
    /// Sends one journal entry made of "NAME=value" fields; 0 or a negative errno, as sd_journal_sendv.
    using JournalSend = std::function<int(const std::vector<std::string>& fields)>;

    enum class Console {
        automatic,  // when stderr is a terminal, or the journal cannot be reached
        always,
        never,
    };

    struct Options {
        LogLevel minimum = LogLevel::info;
        bool revealPrivate = false;
        Console console = Console::automatic;
        /// Where console lines go; colours only when it is a terminal.
        std::FILE* consoleStream = stderr;
        /// Empty: the real journal. Tests capture the fields instead; it must then be thread-safe too.
        JournalSend journal;
    };

    /// Defaults overridden by the environment: TORVEL_LOG_LEVEL=debug|info|error,
    /// TORVEL_LOG_PRIVATE=1 (exactly that) to show private arguments, TORVEL_LOG_CONSOLE=1 to write
    /// every line to stderr as well.
    static Options optionsFromEnvironment();

    explicit JournalLogSink(Options options = optionsFromEnvironment());
    ~JournalLogSink() override;

    void write(LogLevel level, std::string_view category, std::string_view message) override;
    bool revealsPrivate() const override { return revealPrivate_; }

private:
    struct ConsoleLogger;
    LogLevel minimum_;
    bool revealPrivate_;
    JournalSend journal_;
    std::unique_ptr<ConsoleLogger> console_;  // null when lines go to the journal only
};

}  // namespace torvel
