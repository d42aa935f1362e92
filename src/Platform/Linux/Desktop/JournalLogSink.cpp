#include "Platform/Linux/Desktop/JournalLogSink.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <utility>

namespace torvel {

namespace {

int sendToJournal(const std::vector<std::string>& fields) {
    std::vector<iovec> entry;
    entry.reserve(fields.size());
    // sd_journal_sendv only reads the fields; its iovec just is not const.
    for (const auto& field : fields) entry.push_back(iovec{const_cast<char*>(field.data()), field.size()});
    return sd_journal_sendv(entry.data(), static_cast<int>(entry.size()));
}

// Where libsystemd sends entries; without it (a container, a chroot) they would be lost.
bool journalReachable() {
    return access("/run/systemd/journal/socket", W_OK) == 0;
}

// syslog priorities, which journalctl -p filters on.
int priority(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return 7;
        case LogLevel::info:
            return 6;
        case LogLevel::error:
            return 3;
    }
    return 6;
}

spdlog::level::level_enum spdlogLevel(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return spdlog::level::debug;
        case LogLevel::info:
            return spdlog::level::info;
        case LogLevel::error:
            return spdlog::level::err;
    }
    return spdlog::level::info;
}

}  // namespace

struct JournalLogSink::ConsoleLogger {
    // The console mutex serialises lines from every thread, as the stderr sinks do.
    using Sink = spdlog::sinks::ansicolor_sink<spdlog::details::console_mutex>;

    explicit ConsoleLogger(std::FILE* stream)
        : logger("torvel", std::make_shared<Sink>(stream, spdlog::color_mode::automatic)) {
        logger.set_pattern("%H:%M:%S.%e %^%l%$ %v");
        logger.set_level(spdlog::level::trace);  // the sink has filtered already
        logger.flush_on(spdlog::level::trace);   // a crash must not swallow the last lines
    }
    spdlog::logger logger;
};

JournalLogSink::Options JournalLogSink::optionsFromEnvironment() {
    Options options;
    if (const char* level = std::getenv("TORVEL_LOG_LEVEL")) {
        const std::string_view name(level);
        if (name == "debug") options.minimum = LogLevel::debug;
        if (name == "info") options.minimum = LogLevel::info;
        if (name == "error") options.minimum = LogLevel::error;
    }
    if (const char* console = std::getenv("TORVEL_LOG_CONSOLE"); console && std::string_view(console) == "1")
        options.console = Console::always;
    const char* reveal = std::getenv("TORVEL_LOG_PRIVATE");
    options.revealPrivate = reveal && std::string_view(reveal) == "1";
    return options;
}

JournalLogSink::JournalLogSink(Options options)
    : minimum_(options.minimum), revealPrivate_(options.revealPrivate), journal_(std::move(options.journal)) {
    bool console = options.console == Console::always;
    if (options.console == Console::automatic) {
        console = (options.consoleStream && isatty(fileno(options.consoleStream))) ||
                  (!journal_ && !journalReachable());
    }
    if (!journal_) journal_ = sendToJournal;
    if (console && options.consoleStream) console_ = std::make_unique<ConsoleLogger>(options.consoleStream);
}

JournalLogSink::~JournalLogSink() = default;

void JournalLogSink::write(LogLevel level, std::string_view category, std::string_view message) {
    if (static_cast<int>(level) < static_cast<int>(minimum_)) return;
    std::vector<std::string> fields;
    fields.reserve(5);
    fields.push_back(std::string("MESSAGE=").append(message));
    fields.push_back("PRIORITY=" + std::to_string(priority(level)));
    fields.emplace_back("SYSLOG_IDENTIFIER=torvel");
    fields.emplace_back("TORVEL_SUBSYSTEM=com.torvel");
    fields.push_back(std::string("TORVEL_CATEGORY=").append(category));
    // Nothing sensible to do when the journal refuses a line; the console, if on, still has it.
    journal_(fields);
    if (console_) console_->logger.log(spdlogLevel(level), "[{}] {}", category, message);
}

}  // namespace torvel
