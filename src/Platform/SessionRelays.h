#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvel {

/// The desktop session's own services through which applications ask to keep the computer awake (the
/// session manager, the power-management and screen-saver services). Such a service takes the system's
/// lock in its own name on behalf of whoever asked, so its lock is never its own doing, and ending it
/// would end the session. Blocks its caller briefly: call it off the main loop.
class SessionRelays {
public:
    virtual ~SessionRelays() = default;
    /// The pids of the processes that own any of the session's well-known inhibit or session names now,
    /// without repeats. With no session bus: none. Failure (a lookup failed or timed out): the pids
    /// learnt so far, and the reason in `error`.
    virtual std::vector<std::int32_t> ownerPids(std::string* error) = 0;
};

}  // namespace torvel
