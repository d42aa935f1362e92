#include "UI/URLCommandRouter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <map>
#include <system_error>

#include <fmt/format.h>

#include "State/AppState.h"
#include "Models/ShownText.h"
#include "Support/Localization.h"
#include "Platform/Clock.h"
#include "Services/NotificationService.h"

namespace torvel {

namespace {

// Scheme names compare case-sensitively here: "Torvel:" is some other program's link.
constexpr std::string_view kSchemePrefix = "torvel:";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%XX" escapes decoded; "+" stays a plus. A text with a broken escape ("%", "%4", "%zz") is kept as
// it came, so that it shows up in the error message rather than being silently dropped.
std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::string(text);
        const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::string(text);
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// The host of "//[userinfo@]host[:port]"; the empty text when the URL has no authority.
std::string_view hostOf(std::string_view afterScheme) {
    if (afterScheme.substr(0, 2) != "//") return {};
    std::string_view authority = afterScheme.substr(2);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        bool digits = true;
        for (char c : port) digits = digits && isDigit(c);
        if (digits) authority = authority.substr(0, colon);
    }
    return authority;
}

std::map<std::string, std::string, std::less<>> queryParameters(std::string_view afterScheme) {
    std::map<std::string, std::string, std::less<>> parameters;
    const std::string_view beforeFragment = afterScheme.substr(0, afterScheme.find('#'));
    const auto question = beforeFragment.find('?');
    if (question == std::string_view::npos) return parameters;
    std::string_view query = beforeFragment.substr(question + 1);
    while (true) {
        const auto amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        const auto equals = item.find('=');
        std::string name = percentDecoded(item.substr(0, equals));
        if (equals == std::string_view::npos) {
            parameters.erase(name);
        } else {
            parameters[std::move(name)] = percentDecoded(item.substr(equals + 1));
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return parameters;
}

// Removes one leading "+" or "-"; true for "-".
bool takeSign(std::string_view& text) {
    const bool signed_ = !text.empty() && (text[0] == '+' || text[0] == '-');
    const bool negative = signed_ && text[0] == '-';
    if (signed_) text.remove_prefix(1);
    return negative;
}

// The C library's number syntax without its locale: an optional sign, then a decimal or "0x"
// hexadecimal float, "inf" or "nan". Nothing may precede or follow it.
std::optional<double> readNumber(std::string_view text) {
    const bool negative = takeSign(text);
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        format = std::chars_format::hex;
        text.remove_prefix(2);
    }
    // from_chars takes a "-" of its own, which would let "--5" or "0x-1" through.
    if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, format);
    // Out of range (beyond a double, or so small it would read as 0) counts as unreadable.
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

URLActivation parseDuration(std::string_view text) {
    if (const auto seconds = URLCommandRouter::readSeconds(text))
        return {URLActivation::Kind::seconds, *seconds, {}};
    return {URLActivation::Kind::invalidDuration, 0.0, std::string(text)};
}

// An optional sign and at least one digit, nothing else. Large values stop growing at a bound that
// is out of every accepted range anyway.
std::optional<int> readInteger(std::string_view text) {
    const bool negative = takeSign(text);
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        value = std::min(value * 10 + (c - '0'), 1000);
    }
    return negative ? -value : value;
}

}  // namespace

std::string toString(const URLActivation& activation) {
    static constexpr const char* kNames[] = {"seconds", "invalidDuration", "profile", "until", "indefinite"};
    const auto index = static_cast<std::size_t>(activation.kind);
    if (index >= std::size(kNames)) return "?";
    if (activation.kind == URLActivation::Kind::seconds)
        return fmt::format("seconds({})", activation.seconds);
    if (activation.kind == URLActivation::Kind::indefinite) return kNames[index];
    return fmt::format("{}(\"{}\")", kNames[index], activation.text);
}

std::string toString(const URLCommand& command) {
    static constexpr const char* kNames[] = {"activate", "toggle", "deactivate", "unknown", "tooLong"};
    const auto index = static_cast<std::size_t>(command.kind);
    if (index >= std::size(kNames)) return "?";
    if (command.kind == URLCommand::Kind::activate || command.kind == URLCommand::Kind::toggle) {
        return fmt::format("{}({})", kNames[index], toString(command.activation));
    }
    if (command.kind == URLCommand::Kind::unknown) return fmt::format("unknown(\"{}\")", command.host);
    return kNames[index];
}

URLCommandRouter::URLCommandRouter(AppState& state, NotificationService& notifications, Localization& texts,
                                   Clock& clock, const Calendar& calendar, LogSink& log)
    : state_(state),
      notifications_(notifications),
      texts_(texts),
      clock_(clock),
      calendar_(calendar),
      log_(log, "URLScheme") {}

URLOutcome URLCommandRouter::handle(std::string_view url) {
    const auto command = parse(url);
    // Another program's link, or no link at all: not ours to mention.
    if (!command) return {URLOutcome::Kind::ignored, {}};
    switch (command->kind) {
        case URLCommand::Kind::activate:
            return apply(command->activation, url);
        case URLCommand::Kind::toggle:
            // A running session or trigger is toggled as a click would; the duration only matters
            // when starting.
            if (!state_.isActive()) return apply(command->activation, url);
            state_.toggle();
            return {};
        case URLCommand::Kind::deactivate:
            state_.deactivateAll();
            return {};
        case URLCommand::Kind::unknown:
            return reportError("Unknown command '" + excerpt(command->host) + "'", url);
        case URLCommand::Kind::tooLong:
            return reportError(fmt::format("URL longer than {} bytes", kMaxURLLength), url);
    }
    return {};
}

URLOutcome URLCommandRouter::apply(const URLActivation& activation, std::string_view url) {
    switch (activation.kind) {
        case URLActivation::Kind::seconds:
            state_.activate(Duration::custom(activation.seconds));
            return activated();
        case URLActivation::Kind::invalidDuration:
            return reportError("Invalid duration '" + excerpt(activation.text) + "'", url);
        case URLActivation::Kind::profile:
            if (const Profile* profile = state_.profileLibrary().profileNamed(activation.text)) {
                const Profile chosen = *profile;  // the list may be replaced while it starts
                state_.activateProfile(chosen);
                return activated();
            }
            return reportError("Profile '" + excerpt(activation.text) + "' not found", url);
        case URLActivation::Kind::until:
            if (const auto end = parseUntilTime(activation.text, clock_.now(), calendar_)) {
                state_.activate(Duration::until(*end));
                return activated();
            }
            return reportError("Invalid time '" + excerpt(activation.text) + "'", url);
        case URLActivation::Kind::indefinite:
            state_.activate(Duration::indefinite());
            return activated();
    }
    return {};
}

URLOutcome URLCommandRouter::activated() const {
    // The state has said why it refused (a notification, the log); the caller only learns that it did.
    return {state_.isActive() ? URLOutcome::Kind::done : URLOutcome::Kind::refused, {}};
}

URLOutcome URLCommandRouter::reportError(const std::string& message, std::string_view url) {
    log_.error("{} in URL: {}", message, Private{displayable(url.substr(0, kMaxURLLength))});
    notifications_.send("url-scheme-error", kNotificationTitle,
                        texts_.format("notification.url_scheme_error", {message}));
    return {URLOutcome::Kind::invalid, message};
}

std::optional<URLCommand> URLCommandRouter::parse(std::string_view url) {
    if (!url.starts_with(kSchemePrefix)) return std::nullopt;
    if (url.size() > kMaxURLLength) return URLCommand{URLCommand::Kind::tooLong, {}, {}};

    const std::string_view afterScheme = url.substr(kSchemePrefix.size());
    const std::string_view host = hostOf(afterScheme);
    const auto parameters = queryParameters(afterScheme);
    const auto parameter = [&](std::string_view name) -> const std::string* {
        const auto found = parameters.find(name);
        return found == parameters.end() ? nullptr : &found->second;
    };

    using K = URLActivation::Kind;
    if (host == "activate") {
        URLActivation activation;
        if (const auto* profile = parameter("profile")) {
            activation = {K::profile, 0.0, *profile};
        } else if (const auto* duration = parameter("duration")) {
            activation = parseDuration(*duration);
        } else if (const auto* until = parameter("until")) {
            activation = {K::until, 0.0, *until};
        }
        return URLCommand{URLCommand::Kind::activate, std::move(activation), {}};
    }
    if (host == "deactivate") return URLCommand{URLCommand::Kind::deactivate, {}, {}};
    if (host == "toggle") {
        const auto* duration = parameter("duration");
        return URLCommand{
            URLCommand::Kind::toggle, duration ? parseDuration(*duration) : URLActivation{}, {}};
    }
    return URLCommand{URLCommand::Kind::unknown, {}, std::string(host)};
}

std::optional<Date> URLCommandRouter::parseUntilTime(std::string_view text, Date now,
                                                     const Calendar& calendar) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto hour = readInteger(text.substr(0, colon));
    const auto minute = readInteger(text.substr(colon + 1));
    if (!hour || !minute || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59) return std::nullopt;

    LocalTime wall = calendar.localTime(now);
    wall.hour = *hour;
    wall.minute = *minute;
    wall.second = 0;
    const auto today = calendar.date(wall);
    if (!today) return std::nullopt;
    if (*today > now) return today;
    return calendar.addingOneDay(*today).value_or(*today);
}

std::optional<double> URLCommandRouter::readSeconds(std::string_view text) {
    const auto value = readNumber(text);
    if (value && std::isfinite(*value) && *value > 0.0) return value;
    return std::nullopt;
}

std::string URLCommandRouter::excerpt(std::string_view text, std::size_t maxBytes) {
    static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
    // Only what can show is cleaned: a megabyte of input costs no more than its first bytes.
    const std::string_view head = text.substr(0, maxBytes + 4);
    std::string shown = displayable(head);
    if (shown.size() <= maxBytes && head.size() == text.size()) return shown;  // nothing was cut
    std::size_t cut = maxBytes > kEllipsis.size() ? maxBytes - kEllipsis.size() : 0;
    cut = std::min(cut, shown.size());
    while (cut > 0 && cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown.resize(cut);
    return shown + std::string(kEllipsis);
}

std::string URLCommandRouter::displayable(std::string_view text) {
    // Terminals act on C1 controls as on ESC sequences (U+009B starts one), and bidirectional
    // overrides make a name read as something else: both go, with the ASCII controls.
    return sanitizedText(text);
}

}  // namespace torvel
