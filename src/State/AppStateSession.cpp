// Bringing a saved session back: at launch, and when a suspended session resumes.
#include <algorithm>

#include "State/AppState.h"
#include "Support/Localization.h"
#include "Core/TimerManager.h"
#include "Services/SessionPersistence.h"

namespace torvel {

bool AppState::restoreSession(const SavedSession& saved) {
    const Date now = services_.clock.now();
    const auto kind = saved.duration ? saved.duration->kind() : Duration::Kind::indefinite;
    if (kind == Duration::Kind::indefinite) {
        if (std::find(saved.reasons.begin(), saved.reasons.end(), ActivationReason::manual) !=
            saved.reasons.end()) {
            isManuallyActivated_ = true;
        }
    } else if (kind == Duration::Kind::until) {
        if (saved.duration->untilDate() <= now) return false;
        services_.timerManager.start(*saved.duration);
    } else {
        // A clock set back since the save must not lengthen the session: elapsed never counts below 0.
        const double elapsed = std::max(0.0, now.secondsSince(saved.timestamp));
        const auto interval = saved.duration->timeInterval(now);
        if (!interval || elapsed >= *interval) return false;
        services_.timerManager.start(Duration::custom(*interval - elapsed));
    }

    if (saved.profileID) {
        if (profiles_.profileWithID(saved.profileID)) {
            activeProfileID_ = saved.profileID;
        } else {
            log_.error("Restored session references profile {} which no longer exists",
                       saved.profileID->toString());
        }
    } else if (saved.legacyProfileName) {
        // Older versions stored the profile's name; it may be the stored, the shown or the key name.
        const std::string& legacy = *saved.legacyProfileName;
        if (const Profile* match = profiles_.profileNamed(legacy))
            activeProfileID_ = match->id;
        else
            log_.error("Legacy session profile '{}' not found in current profiles", legacy);
    }
    reevaluateState();
    return true;
}

void AppState::suspendSession() {
    services_.sessions.saveSuspendedSession(currentSessionRecord());
    isManuallyActivated_ = false;
    activeProfileID_.reset();
    services_.timerManager.stop();
}

bool AppState::resumeSuspendedSession() {
    auto suspended = services_.sessions.loadSuspendedSession();
    if (!suspended) return false;
    services_.sessions.clearSuspendedSession();
    return restoreSession(*suspended);
}

SessionControl::SessionSnapshot AppState::takeSessionSnapshot() const {
    return SessionSnapshot{services_.sessions.loadActiveSession(), services_.sessions.loadSuspendedSession()};
}

void AppState::restoreSessionSnapshot(const SessionSnapshot& snapshot) {
    if (snapshot.suspended) services_.sessions.saveSuspendedSession(*snapshot.suspended);
    if (snapshot.active) restoreSession(*snapshot.active);
}

}  // namespace torvel
