// Feeds arbitrary bytes to the torvel: URL reader, as any program on the machine may send. Every
// result must be one of the defined commands with its payload in shape, and every text read as a
// clock time must give a moment within a day (and a changed hour) of now.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Models/Calendar.h"
#include "UI/URLCommandRouter.h"

namespace {

using torvel::URLActivation;
using torvel::URLCommand;
using torvel::URLCommandRouter;

void require(bool condition) {
    if (!condition) std::abort();
}

void checkActivation(const URLActivation& a, std::size_t inputSize) {
    using K = URLActivation::Kind;
    switch (a.kind) {
        case K::seconds:
            require(std::isfinite(a.seconds) && a.seconds > 0.0 && a.text.empty());
            break;
        case K::invalidDuration:
        case K::profile:
        case K::until:
            require(a.seconds == 0.0 && a.text.size() <= inputSize);
            break;
        case K::indefinite:
            require(a.seconds == 0.0 && a.text.empty());
            break;
        default:
            std::abort();
    }
}

void checkShown(std::string_view text) {
    for (char c : URLCommandRouter::displayable(text)) {
        require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
}

const torvel::Calendar utc = torvel::Calendar::utc();
const torvel::Calendar prague = torvel::Calendar::named("Europe/Prague").value_or(utc);

void checkUntil(std::string_view text, torvel::Date now) {
    for (const torvel::Calendar* calendar : {&utc, &prague}) {
        if (const auto end = URLCommandRouter::parseUntilTime(text, now, *calendar)) {
            require(*end > now && end->secondsSince(now) <= 25 * 3600.0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    // An ordinary day, and the nights of both clock changes in Prague.
    static const torvel::Date nows[] = {
        prague.date({2026, 6, 10, 10, 0, 0}).value(), prague.date({2026, 3, 28, 23, 0, 0}).value(),
        prague.date({2026, 3, 29, 1, 30, 0}).value(), prague.date({2026, 10, 24, 23, 0, 0}).value()};
    const torvel::Date now = nows[size % 4];
    checkUntil(url, now);
    checkShown(url);

    const auto command = URLCommandRouter::parse(url);
    require(command.has_value() == url.starts_with("torvel:"));
    if (!command) return 0;
    require(!toString(*command).empty());
    require((command->kind == URLCommand::Kind::tooLong) == (size > URLCommandRouter::kMaxURLLength));

    const URLActivation none;
    switch (command->kind) {
        case URLCommand::Kind::activate:
            checkActivation(command->activation, size);
            require(command->host.empty());
            if (command->activation.kind == URLActivation::Kind::until)
                checkUntil(command->activation.text, now);
            checkShown(command->activation.text);
            break;
        case URLCommand::Kind::toggle:
            checkActivation(command->activation, size);
            require(command->activation.kind != URLActivation::Kind::profile &&
                    command->activation.kind != URLActivation::Kind::until && command->host.empty());
            break;
        case URLCommand::Kind::unknown:
            require(command->activation == none && command->host.size() <= size);
            require(command->host != "activate" && command->host != "deactivate" &&
                    command->host != "toggle");
            checkShown(command->host);
            break;
        case URLCommand::Kind::deactivate:
        case URLCommand::Kind::tooLong:
            require(command->activation == none && command->host.empty());
            break;
        default:
            std::abort();
    }
    return 0;
}
