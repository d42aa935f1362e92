// Loads both session records from hostile stored values and checks what comes out.
//
// The input is up to four parts separated by 0xFF bytes, one per key of a record (timestamp,
// duration, reasons, profile). A part's first byte picks the kind of value stored, the rest is its
// content; both records get the same values.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimClock.h"
#include "Services/DefaultsSessionPersistence.h"

namespace torvel {
namespace {

constexpr std::uint8_t kSeparator = 0xFF;
const Date kNow(700'000'000.0);

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

std::vector<std::string_view> splitParts(std::string_view input) {
    std::vector<std::string_view> parts;
    while (parts.size() < 3) {
        const auto at = input.find(static_cast<char>(kSeparator));
        if (at == std::string_view::npos) break;
        parts.push_back(input.substr(0, at));
        input.remove_prefix(at + 1);
    }
    parts.push_back(input);
    parts.resize(4);
    return parts;
}

// Dates: eight raw bytes as seconds (any double, NaN and infinities included), or fewer bytes as a
// number of seconds before now, so records near the expiry boundary turn up often.
Date dateFrom(std::string_view bytes) {
    if (bytes.size() >= sizeof(double)) {
        double seconds;
        std::memcpy(&seconds, bytes.data(), sizeof seconds);
        return Date(seconds);
    }
    std::uint32_t ago = 0;
    for (char c : bytes) ago = ago << 8 | static_cast<std::uint8_t>(c);
    return kNow.addingSeconds(-static_cast<double>(ago));
}

std::optional<DefaultsValue> valueFrom(std::string_view part) {
    if (part.empty()) return std::nullopt;
    const auto tag = static_cast<std::uint8_t>(part.front());
    const std::string_view rest = part.substr(1);
    switch (tag % 7) {
        case 0:
            return std::nullopt;
        case 1:
            return DefaultsData::fromString(rest);
        case 2:
            return std::string(rest);
        case 3:
            return dateFrom(rest);
        case 4:
            return static_cast<std::int64_t>(rest.size());
        case 5:
            return static_cast<double>(rest.size());
        default:
            return !rest.empty();
    }
}

bool sameRecord(const SavedSession& a, const SavedSession& b) {
    return a.timestamp == b.timestamp && a.duration == b.duration && a.reasons == b.reasons &&
           a.profileID == b.profileID && a.legacyProfileName == b.legacyProfileName;
}

// A stored reasons value that legitimately loads as no reasons at all: data holding an empty array.
bool isEmptyArrayData(const std::optional<DefaultsValue>& value) {
    const auto* data = value ? std::get_if<DefaultsData>(&*value) : nullptr;
    if (!data) return false;
    const auto json = nlohmann::json::parse(data->bytes.begin(), data->bytes.end(), nullptr, false);
    return json.is_array() && json.empty();
}

void checkRoundTrip(const SavedSession& loaded) {
    if (loaded.duration) {
        const auto text = loaded.duration->toJson().dump();
        check(Duration::fromJson(nlohmann::json::parse(text)) == loaded.duration,
              "duration re-decodes equal");
    }
    // Written again and read back, the record is the same, save for an older version's profile name,
    // which is never written.
    MemoryDefaultsStore store;
    SimClock clock(kNow);
    CapturingLogSink log;
    DefaultsSessionPersistence sessions(store, clock, log);
    sessions.saveSuspendedSession(loaded);
    check(log.lines().empty(), "a loaded record encodes without errors");
    auto expected = loaded;
    expected.legacyProfileName.reset();
    const auto again = sessions.loadSuspendedSession();
    check(again && sameRecord(*again, expected), "a loaded record survives saving and loading");
}

void run(std::string_view input) {
    const auto parts = splitParts(input);
    MemoryDefaultsStore store;
    const auto& active = DefaultsSessionPersistence::activeKeys();
    const auto& suspended = DefaultsSessionPersistence::suspendedKeys();
    const std::string* activeKeys[] = {&active.timestamp, &active.duration, &active.reasons,
                                       &active.profileName};
    const std::string* suspendedKeys[] = {&suspended.timestamp, &suspended.duration, &suspended.reasons,
                                          &suspended.profileName};
    for (std::size_t i = 0; i < 4; ++i) {
        if (const auto value = valueFrom(parts[i])) {
            store.set(*activeKeys[i], *value);
            store.set(*suspendedKeys[i], *value);
        }
    }
    const auto timestamp = store.object(active.timestamp);
    const Date* date = timestamp ? std::get_if<Date>(&*timestamp) : nullptr;
    // A record dated before 2001 or more than a day ahead is discarded (and cleared) on loading.
    const bool plausible = date && date->secondsSinceReferenceDate() >= 0 &&
                           date->secondsSinceReferenceDate() <= kNow.secondsSinceReferenceDate() + 86400;
    const bool hasDate = date && plausible;
    const bool mayHaveNoReasons = isEmptyArrayData(store.object(active.reasons));

    SimClock clock(kNow);
    CapturingLogSink log;
    DefaultsSessionPersistence sessions(store, clock, log);

    const int writes = store.writeCount();
    const auto fromSuspended = sessions.loadSuspendedSession();
    check(store.writeCount() == writes || (date && !plausible),
          "loading the suspended record writes nothing unless it discards it");
    check(fromSuspended.has_value() == hasDate, "a record exists exactly when its timestamp is a date");

    const auto fromActive = sessions.loadActiveSession();
    if (fromActive) {
        check(fromSuspended && sameRecord(*fromActive, *fromSuspended), "both records read the same way");
        check(store.writeCount() == writes, "a kept active record is not rewritten");
    } else if (hasDate) {
        check(fromSuspended->duration.has_value(), "only a timed record runs out");
        for (const std::string* key : activeKeys) check(!store.object(*key), "a run-out record is cleared");
    }

    if (fromSuspended) {
        check(!fromSuspended->reasons.empty() || mayHaveNoReasons, "reasons default to manual");
        check(!(fromSuspended->profileID && fromSuspended->legacyProfileName), "one form of profile at most");
        checkRoundTrip(*fromSuspended);
    }
}

}  // namespace
}  // namespace torvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torvel::run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
