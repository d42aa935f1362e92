#pragma once

#include <cstdint>
#include <string_view>

#include "Models/AssertionType.h"

namespace torvel {

/// Result of creating an assertion: status 0 and a non-zero id on success, a non-zero status otherwise.
struct AssertionResult {
    std::int32_t status = 0;
    std::uint32_t id = 0;
};

/// The machine's power assertions: what keeps it from sleeping.
class PowerAssertions {
public:
    virtual ~PowerAssertions() = default;
    /// Takes an assertion of `type` named `name`. Failure: a non-zero status, id 0.
    virtual AssertionResult create(AssertionType type, std::string_view name) = 0;
    /// Releases an assertion; the id is invalid afterwards whatever the status. Failure: non-zero.
    virtual std::int32_t release(std::uint32_t id) = 0;
    /// Tells the system the user is active, resetting the idle timers of the screen saver and the
    /// display. The result's id names a short-lived assertion to release later. Failure: non-zero status.
    virtual AssertionResult declareUserActivity(std::string_view name) = 0;
    /// True while the assertion `id` still exists; false once released or dropped by the system.
    virtual bool isAlive(std::uint32_t id) const = 0;
};

}  // namespace torvel
