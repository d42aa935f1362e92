#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Models/BlockerKind.h"

namespace torvel {

/// One lock of another process that keeps the computer from sleeping, as the menu lists it and the
/// emergency steps act on it.
struct SleepBlocker {
    std::int32_t pid = 0;
    /// The executable's name, sanitised and capped; empty when it cannot be read.
    std::string processName;
    /// What the lock holds off: always a kind that blocks sleep.
    BlockerKind kind = BlockerKind::systemSleep;
    /// Why the process holds it, sanitised and capped; empty when it gave no reason.
    std::string assertionName;
    bool isOwnedByCurrentUser = false;
    /// The kernel's command name (at most 15 bytes on Linux), sanitised; empty when unreadable.
    std::string commName;
    /// When the process started (clock ticks after boot), so that a later action can tell it from a
    /// newer process that got its pid; absent when unreadable, and then nothing is done to it.
    std::optional<std::uint64_t> startTime = std::nullopt;
    /// The desktop session's own service holding the lock on behalf of its applications (a session
    /// manager, the power or screen-saver service): listed as such and never asked to quit.
    bool isSessionRelay = false;

    /// The name shown to the user and the key the menu groups by: the process name, else the command
    /// name (completed from the reason when the kernel cut it), else "PID <pid>".
    std::string displayName() const;
    std::string toString() const;

    friend bool operator==(const SleepBlocker&, const SleepBlocker&) = default;
};

}  // namespace torvel
