#pragma once

#include <cstdint>
#include <string_view>

#include "Models/AssertionType.h"
#include "Support/Signal.h"

namespace torvel {

/// Result of creating an assertion: status 0 and a non-zero id on success, a non-zero status otherwise.
struct AssertionResult {
    std::int32_t status = 0;
    std::uint32_t id = 0;
};

/// The machine's power assertions: what keeps it from sleeping, and the screen from blanking.
class PowerAssertions {
public:
    virtual ~PowerAssertions() = default;
    /// Takes an assertion of `type` named `name`. Failure: a non-zero status, id 0.
    virtual AssertionResult create(AssertionType type, std::string_view name) = 0;
    /// Releases an assertion or a user-activity prevention; the id is invalid afterwards whatever the
    /// status. Failure: non-zero.
    virtual std::int32_t release(std::uint32_t id) = 0;
    /// Starts keeping the screen saver and idle dimming away, the way the session honours it; the id
    /// holds the prevention until release(). Failure: a non-zero status, id 0.
    virtual AssertionResult startUserActivity(std::string_view name) = 0;
    /// Confirms that the prevention `id` still holds, renewing it where the session needs that. Called
    /// every few seconds, so it never waits on another process. Lost or never held: non-zero.
    virtual std::int32_t confirmUserActivity(std::uint32_t id) = 0;
    /// True while the assertion `id` still exists; false once released or dropped by the system.
    virtual bool isAlive(std::uint32_t id) const = 0;
    /// Emitted on the main loop when an inhibit service appears on or leaves the bus; never where the
    /// machine has no such services.
    Signal<> servicesChanged;
};

}  // namespace torvel
