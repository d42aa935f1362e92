#include "Services/DefaultsSessionPersistence.h"

#include <cmath>
#include <exception>
#include <set>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Models/StoredJson.h"

namespace torvel {

namespace {

using nlohmann::json;

// Seconds the end of a countdown may move between two saves and still count as the same end.
constexpr double kEndTolerance = 1.0;
// Seconds a saved time may lie ahead of the clock: a clock set back a little since the save.
constexpr double kFutureSlack = 24 * 60 * 60;

template <typename T>
const T* as(const std::optional<DefaultsValue>& value) {
    return value ? std::get_if<T>(&*value) : nullptr;
}

// The library writes infinity as null, which would decode as something else or not at all, so such a
// number counts as unencodable instead.
bool hasNonFiniteNumber(const json& value) {
    if (value.is_number_float()) return !std::isfinite(value.get<double>());
    if (value.is_structured()) {
        for (const auto& element : value) {
            if (hasNonFiniteNumber(element)) return true;
        }
    }
    return false;
}

// Builds a JSON document and writes it out as stored data. Any failure, including an exception from
// building, ends in std::nullopt with `error` describing it: saving must not throw into its caller.
template <typename Build>
std::optional<DefaultsData> encodeJson(Build build, std::string& error) {
    try {
        const json document = build();
        if (hasNonFiniteNumber(document)) {
            error = "A number is not finite and has no JSON form: " + document.dump();
            return std::nullopt;
        }
        return DefaultsData::fromString(document.dump(-1, ' ', false, json::error_handler_t::strict));
    } catch (const std::exception& e) {
        error = e.what();
        return std::nullopt;
    }
}

std::optional<json> parseData(const DefaultsData& data, std::string& error) {
    auto document = parseStoredJson(data.toString());
    if (!document) {
        error = document.error();
        return std::nullopt;
    }
    return std::move(document).value();
}

std::optional<Duration> decodeDuration(const DefaultsData& data, std::string& error) {
    const auto document = parseData(data, error);
    if (!document) return std::nullopt;
    const auto duration = Duration::fromJson(*document);
    if (!duration) {
        error = duration.error();
        return std::nullopt;
    }
    return duration.value();
}

// A list of raw values; one value that names no reason fails the whole list.
std::optional<std::vector<ActivationReason>> decodeReasons(const DefaultsData& data, std::string& error) {
    const auto document = parseData(data, error);
    if (!document) return std::nullopt;
    if (!document->is_array()) {
        error = "Expected an array of reasons, found " + std::string(document->type_name()) + ".";
        return std::nullopt;
    }
    std::vector<ActivationReason> reasons;
    for (std::size_t i = 0; i < document->size(); ++i) {
        const json& element = (*document)[i];
        if (!element.is_string()) {
            error = "Expected a string at index " + std::to_string(i) + ", found " +
                    std::string(element.type_name()) + ".";
            return std::nullopt;
        }
        const auto& raw = element.get_ref<const std::string&>();
        const auto reason = activationReasonFromRaw(raw);
        if (!reason) {
            error = "Unknown reason " + element.dump() + " at index " + std::to_string(i) + ".";
            return std::nullopt;
        }
        reasons.push_back(*reason);
    }
    return reasons;
}

}  // namespace

SessionRecordKeys SessionRecordKeys::withPrefix(const std::string& prefix) {
    return {prefix + ".timestamp", prefix + ".duration", prefix + ".reasons", prefix + ".profileName"};
}

DefaultsSessionPersistence::DefaultsSessionPersistence(DefaultsStore& defaults, Clock& clock, LogSink& log)
    : defaults_(defaults), clock_(clock), log_(log, "SessionPersistence") {}

const SessionRecordKeys& DefaultsSessionPersistence::activeKeys() {
    static const SessionRecordKeys keys = SessionRecordKeys::withPrefix("activeSession");
    return keys;
}

const SessionRecordKeys& DefaultsSessionPersistence::suspendedKeys() {
    static const SessionRecordKeys keys = SessionRecordKeys::withPrefix("suspendedSession");
    return keys;
}

void DefaultsSessionPersistence::saveActiveSession(const SavedSession& session) {
    // The stored timestamp tells whether the record is still the one written last.
    const bool stillStored =
        lastActive_ && defaults_.object(activeKeys().timestamp) == DefaultsValue(lastActive_->timestamp);
    if (stillStored && sameMeaning(*lastActive_, session)) return;
    if (save(session, activeKeys())) {
        lastActive_ = session;
    } else {
        lastActive_.reset();  // try again at the next application
    }
}

void DefaultsSessionPersistence::saveSuspendedSession(const SavedSession& session) {
    save(session, suspendedKeys());
}

std::optional<SavedSession> DefaultsSessionPersistence::loadActiveSession() {
    auto session = load(activeKeys());
    if (!session || !session->duration) return session;
    const Date now = clock_.now();
    // An until duration runs out at its own end, whenever it was saved; the others run out their
    // length after the save.
    const auto interval = session->duration->timeInterval(now);
    const bool runOut = session->duration->kind() == Duration::Kind::until
                            ? session->duration->untilDate() < now
                            : interval && session->timestamp.addingSeconds(*interval) < now;
    if (runOut) {
        log_.debug("Saved session of {} from {} has run out, clearing it", session->duration->toString(),
                   session->timestamp.toString());
        clearActiveSession();
        return std::nullopt;
    }
    return session;
}

std::optional<SavedSession> DefaultsSessionPersistence::loadSuspendedSession() {
    return load(suspendedKeys());
}

void DefaultsSessionPersistence::clearActiveSession() {
    clear(activeKeys());
}

void DefaultsSessionPersistence::clearSuspendedSession() {
    clear(suspendedKeys());
}

bool DefaultsSessionPersistence::save(const SavedSession& session, const SessionRecordKeys& keys) {
    std::vector<DefaultsChange> changes{{keys.timestamp, DefaultsValue(session.timestamp)}};

    std::string error;
    if (!session.duration) {
        changes.push_back({keys.duration, std::nullopt});
    } else if (auto data = encodeJson([&] { return session.duration->toJson(); }, error)) {
        changes.push_back({keys.duration, DefaultsValue(std::move(*data))});
    } else {
        log_.error("Failed to encode duration, keeping existing data: {}", error);
    }

    const auto reasons = encodeJson(
        [&] {
            json array = json::array();
            for (ActivationReason reason : session.reasons) array.push_back(std::string(rawValue(reason)));
            return array;
        },
        error);
    if (reasons) {
        changes.push_back({keys.reasons, DefaultsValue(*reasons)});
    } else {
        log_.error("Failed to encode reasons, keeping existing data: {}", error);
    }

    changes.push_back({keys.profileName, session.profileID
                                             ? std::optional<DefaultsValue>(session.profileID->toString())
                                             : std::nullopt});
    return static_cast<bool>(defaults_.apply(changes));  // the store logs why not
}

bool DefaultsSessionPersistence::sameMeaning(const SavedSession& a, const SavedSession& b) const {
    const std::set<ActivationReason> reasonsA(a.reasons.begin(), a.reasons.end());
    const std::set<ActivationReason> reasonsB(b.reasons.begin(), b.reasons.end());
    if (reasonsA != reasonsB || a.profileID != b.profileID || a.legacyProfileName != b.legacyProfileName)
        return false;
    if (!a.duration || !b.duration) return !a.duration && !b.duration;
    if (a.duration->kind() == Duration::Kind::until || b.duration->kind() == Duration::Kind::until)
        return *a.duration == *b.duration;
    // A countdown saved again a tick later has less left but the same end; the end computed from the
    // remaining seconds drifts by parts of a second.
    const Date now = clock_.now();
    const auto intervalA = a.duration->timeInterval(now), intervalB = b.duration->timeInterval(now);
    if (!intervalA || !intervalB) return *a.duration == *b.duration;
    const double endA = a.timestamp.addingSeconds(*intervalA).secondsSinceReferenceDate();
    const double endB = b.timestamp.addingSeconds(*intervalB).secondsSinceReferenceDate();
    return std::fabs(endA - endB) < kEndTolerance;
}

std::optional<SavedSession> DefaultsSessionPersistence::load(const SessionRecordKeys& keys) {
    const auto stamp = defaults_.object(keys.timestamp);
    const Date* timestamp = as<Date>(stamp);
    if (!timestamp) return std::nullopt;
    // No record is written before 2001 or in the future; one claiming so would restore (or never let
    // run out) a session nobody started. A day of slack covers a clock set back since the save.
    const double seconds = timestamp->secondsSinceReferenceDate();
    if (!(seconds >= 0 && seconds <= clock_.now().secondsSinceReferenceDate() + kFutureSlack)) {
        log_.error("Discarding saved session under {}: its time {} is not plausible", keys.timestamp,
                   timestamp->toString());
        clear(keys);
        return std::nullopt;
    }

    SavedSession session;
    session.timestamp = *timestamp;
    session.reasons = {ActivationReason::manual};

    std::string error;
    if (const auto value = defaults_.object(keys.duration); const auto* data = as<DefaultsData>(value)) {
        session.duration = decodeDuration(*data, error);
        if (!session.duration) log_.error("Failed to decode saved duration, discarding: {}", error);
    }

    if (const auto value = defaults_.object(keys.reasons); const auto* data = as<DefaultsData>(value)) {
        if (auto reasons = decodeReasons(*data, error)) {
            session.reasons = std::move(*reasons);
        } else {
            log_.error("Failed to decode saved reasons, defaulting to .manual: {}", error);
        }
    }

    // Older versions stored the profile's name rather than its identifier.
    if (const auto value = defaults_.object(keys.profileName); const auto* text = as<std::string>(value)) {
        session.profileID = Uuid::parse(*text);
        if (!session.profileID) session.legacyProfileName = *text;
    }
    return session;
}

void DefaultsSessionPersistence::clear(const SessionRecordKeys& keys) {
    if (&keys == &activeKeys()) lastActive_.reset();
    std::vector<DefaultsChange> changes;
    for (const std::string* key : {&keys.timestamp, &keys.duration, &keys.reasons, &keys.profileName}) {
        if (defaults_.object(*key)) changes.push_back({*key, std::nullopt});
    }
    if (!changes.empty()) defaults_.apply(changes);
}

}  // namespace torvel
