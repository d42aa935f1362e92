#pragma once

#include <cstdint>
#include <string>

#include "Models/Result.h"

namespace torvel {

/// The session's own sleep and the user's consent to it: whether this process may put the computer
/// to sleep, starting the service that answers that, and the sleep request itself. Every call may
/// block for a bounded while and may be made from any thread.
class SessionAutomation {
public:
    /// Status codes of permissionStatus(); any other value means the answer could not be read.
    static constexpr std::int32_t kGranted = 0;
    static constexpr std::int32_t kTargetNotPermitted = -1742;
    static constexpr std::int32_t kDenied = -1743;
    static constexpr std::int32_t kNotAsked = -1744;
    static constexpr std::int32_t kNotRunning = -600;
    /// The authority is there but did not answer in time: hung or overloaded, not to be restarted.
    static constexpr std::int32_t kNoAnswer = -1712;

    virtual ~SessionAutomation() = default;
    /// Whether a sleep request would be allowed: kGranted, kNotAsked (allowed only after the user
    /// answers), kDenied/kTargetNotPermitted, kNotRunning (the authority is down), kNoAnswer (it did
    /// not answer in time), other = unreadable.
    /// With `askUserIfNeeded` the user may be prompted, and the call waits for the answer.
    virtual std::int32_t permissionStatus(bool askUserIfNeeded) = 0;
    /// Starts the authority that permissionStatus() asks, without waiting for it to come up.
    virtual void launch() = 0;
    /// Asks the session to sleep now; `interactive`: the user is present and may answer a prompt.
    /// Success when the request was accepted; otherwise the reason.
    virtual Result<void> sleep(bool interactive) = 0;
};

}  // namespace torvel
