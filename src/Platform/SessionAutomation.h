#pragma once

#include "Models/PermissionStatus.h"
#include "Models/Result.h"

namespace torvel {

/// The session's own sleep and the user's consent to it: whether this process may put the computer
/// to sleep, starting the service that answers that, and the sleep request itself. Every call may
/// block for a bounded while and may be made from any thread.
class SessionAutomation {
public:
    virtual ~SessionAutomation() = default;
    /// Whether a sleep request would be allowed: granted, notAsked (allowed only after the user
    /// answers), denied/notPermitted, notRunning (the authority is down), noAnswer (it did not answer
    /// in time), unreadable.
    /// With `askUserIfNeeded` the user may be prompted, and the call waits for the answer.
    virtual PermissionStatus permissionStatus(bool askUserIfNeeded) = 0;
    /// Starts the authority that permissionStatus() asks, without waiting for it to come up.
    virtual void launch() = 0;
    /// Asks the session to sleep now; `interactive`: the user is present and may answer a prompt.
    /// Success when the request was accepted; otherwise the reason.
    virtual Result<void> sleep(bool interactive) = 0;
};

}  // namespace torvel
