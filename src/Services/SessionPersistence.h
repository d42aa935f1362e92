#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Models/ActivationReason.h"
#include "Models/Date.h"
#include "Models/Duration.h"
#include "Models/Uuid.h"

namespace torvel {

/// A keep-awake session written down so that it can come back.
struct SavedSession {
    Date timestamp;
    /// The remaining timed part; absent for an untimed session.
    std::optional<Duration> duration;
    std::vector<ActivationReason> reasons;
    std::optional<Uuid> profileID;
    /// Only when reading a record of an older version that stored the profile's name.
    std::optional<std::string> legacyProfileName;
};

/// Keeps the active session (rewritten whenever a keep-awake state is applied) and the suspended
/// session (saved by a safety stop until it resumes).
class SessionPersistence {
public:
    virtual ~SessionPersistence() = default;
    virtual void saveActiveSession(const SavedSession& session) = 0;
    virtual void saveSuspendedSession(const SavedSession& session) = 0;
    /// The active record; std::nullopt when there is none or its timed part has run out.
    virtual std::optional<SavedSession> loadActiveSession() = 0;
    virtual std::optional<SavedSession> loadSuspendedSession() = 0;
    virtual void clearActiveSession() = 0;
    virtual void clearSuspendedSession() = 0;
};

}  // namespace torvel
