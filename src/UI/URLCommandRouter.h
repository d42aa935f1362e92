#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Models/Calendar.h"
#include "Models/Date.h"
#include "Platform/Log.h"

namespace torvel {

class AppState;
class Clock;
class Localization;
class NotificationService;

/// What kind of session a torvel: URL asks for. Texts are the parameter as given, percent-decoded.
struct URLActivation {
    enum class Kind { seconds, invalidDuration, profile, until, indefinite };
    Kind kind = Kind::indefinite;
    /// A custom session's length: positive and finite. 0 for the other kinds.
    double seconds = 0.0;
    /// The duration that did not read, the profile name or the clock time; empty for the other kinds.
    std::string text;

    friend bool operator==(const URLActivation&, const URLActivation&) = default;
};

/// One torvel: URL, read but not yet carried out.
struct URLCommand {
    enum class Kind { activate, toggle, deactivate, unknown, tooLong };
    Kind kind = Kind::unknown;
    /// What activate or toggle starts; toggle only ever carries seconds, invalidDuration or indefinite.
    URLActivation activation;
    /// The host of an unknown command (empty when the URL has none).
    std::string host;

    friend bool operator==(const URLCommand&, const URLCommand&) = default;
};

/// What became of one URL, for a caller that waits for the answer (the command line, D-Bus).
struct URLOutcome {
    /// done: carried out; ignored: not a torvel: URL; invalid: malformed (reported as a notification
    /// too); refused: read correctly, but the computer is not kept awake afterwards.
    enum class Kind { done, ignored, invalid, refused };
    Kind kind = Kind::done;
    /// For invalid, the error as the notification shows it; empty otherwise.
    std::string message;
};

/// Readable forms for logs and test failures: "activate(seconds(1800))", "unknown(\"Activate\")".
std::string toString(const URLActivation& activation);
std::string toString(const URLCommand& command);

/// Carries out the commands that scripts and other programs send by opening torvel: URLs, such as
/// torvel://activate?duration=60. A malformed command is logged and shown as a notification; it never
/// touches the application state. Main thread only.
class URLCommandRouter {
public:
    /// Longer URLs are refused unread: no script needs more, and it bounds every text we show or log.
    static constexpr std::size_t kMaxURLLength = 4096;

    /// Everything is owned elsewhere and outlives the router; `calendar` is the user's current one.
    URLCommandRouter(AppState& state, NotificationService& notifications, Localization& texts, Clock& clock,
                     const Calendar& calendar, LogSink& log);

    /// Longest piece of outside input that an error message repeats; the rest is cut off.
    static constexpr std::size_t kMaxQuotedLength = 64;

    /// Parses and carries out `url`. A URL of another scheme (or none) is ignored without a trace.
    URLOutcome handle(std::string_view url);

    /// Reads `url` without side effects; std::nullopt when its scheme is not exactly "torvel". Query
    /// items are folded left to right: a later value replaces an earlier one of the same name, and a
    /// bare name without "=" removes it.
    static std::optional<URLCommand> parse(std::string_view url);
    /// The next moment at "H:M" (24-hour, second 0) strictly after `now`: today's, else tomorrow's.
    /// std::nullopt when the text is not exactly two integers in range separated by one ":".
    static std::optional<Date> parseUntilTime(std::string_view text, Date now, const Calendar& calendar);

    /// A positive, finite number of seconds in the C library's locale-independent number syntax,
    /// with nothing before or after it (" 60" and "60s" do not read). The one reader of durations for
    /// URLs, D-Bus and the command line.
    static std::optional<double> readSeconds(std::string_view text);

    /// `text` fit to show or log (sanitizedText): bytes that are not UTF-8 become U+FFFD; control
    /// characters (C0 and C1), bidirectional overrides and other invisible formatting are removed.
    static std::string displayable(std::string_view text);
    /// displayable(text) cut to at most `maxBytes` bytes at a character boundary, ending in "…" when
    /// cut: what an error message may repeat of a caller's input.
    static std::string excerpt(std::string_view text, std::size_t maxBytes = kMaxQuotedLength);

private:
    URLOutcome apply(const URLActivation& activation, std::string_view url);
    /// done while the computer is kept awake after an activation, refused otherwise.
    URLOutcome activated() const;
    URLOutcome reportError(const std::string& message, std::string_view url);

    AppState& state_;
    NotificationService& notifications_;
    Localization& texts_;
    Clock& clock_;
    const Calendar& calendar_;
    Logger log_;
};

}  // namespace torvel
