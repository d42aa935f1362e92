#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Platform/AssertionTable.h"

namespace torvel {

/// One process pinned down: whatever happens to its pid afterwards, this handle still means the process
/// that had the pid when it was opened, so a recycled pid is never read or signalled by mistake.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    /// Its executable's name, read as the census reads it. Failure: an empty string.
    virtual std::string processName() = 0;
    /// Its owner and command name. Failure: std::nullopt.
    virtual std::optional<ProcessInfo::Identity> identity() = 0;
    /// True while the very process the handle was opened on still runs (not a newer one with its pid).
    virtual bool isAlive() = 0;
    /// Asks it to quit with SIGTERM. 0 on success, otherwise the errno of the failure.
    virtual int terminate() = 0;
};

/// Signals other processes of this user, one pinned process at a time.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    /// Pins the process with this pid. Failure (no such process, not allowed): nullptr with the errno
    /// in `error`.
    virtual std::unique_ptr<ProcessHandle> open(std::int32_t pid, int* error) = 0;
};

}  // namespace torvel
