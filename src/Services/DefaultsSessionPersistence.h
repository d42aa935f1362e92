#pragma once

#include <optional>
#include <string>

#include "Platform/Clock.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"
#include "Services/SessionPersistence.h"

namespace torvel {

/// The stored keys of one session record.
struct SessionRecordKeys {
    std::string timestamp;
    std::string duration;
    std::string reasons;
    std::string profileName;

    /// The four keys under `prefix` ("activeSession" gives "activeSession.timestamp", ...).
    static SessionRecordKeys withPrefix(const std::string& prefix);
};

/// Keeps the two session records in the user defaults, four keys each: the timestamp as a date, the
/// duration and the reasons as JSON data, the profile as its UUID text. A value of the wrong kind
/// under any key counts as missing; nothing read from the store can make loading throw.
class DefaultsSessionPersistence : public SessionPersistence {
public:
    DefaultsSessionPersistence(DefaultsStore& defaults, Clock& clock, LogSink& log);

    /// Keys of the record restored at launch.
    static const SessionRecordKeys& activeKeys();
    /// Keys of the record a battery or thermal stop leaves for later.
    static const SessionRecordKeys& suspendedKeys();

    /// Writes the record only when it would restore differently from the one written last: new
    /// reasons, another profile, another end of the countdown. A heartbeat writes nothing.
    void saveActiveSession(const SavedSession& session) override;
    void saveSuspendedSession(const SavedSession& session) override;
    /// The active record; std::nullopt when there is none, and when its timed part has run out, in
    /// which case the record is cleared as well.
    std::optional<SavedSession> loadActiveSession() override;
    /// The suspended record as stored; it never runs out.
    std::optional<SavedSession> loadSuspendedSession() override;
    void clearActiveSession() override;
    void clearSuspendedSession() override;

private:
    /// Writes the record's keys in one batch; false when the store refused it.
    bool save(const SavedSession& session, const SessionRecordKeys& keys);
    /// The record, or std::nullopt; a record dated before 2001 or over a day ahead is cleared.
    std::optional<SavedSession> load(const SessionRecordKeys& keys);
    void clear(const SessionRecordKeys& keys);
    /// Whether two records would restore the same session: reasons, profile and end of the countdown.
    bool sameMeaning(const SavedSession& a, const SavedSession& b) const;

    DefaultsStore& defaults_;
    Clock& clock_;
    Logger log_;
    /// The active record as last written by this run, so an unchanged one is not written again.
    std::optional<SavedSession> lastActive_;
};

}  // namespace torvel
