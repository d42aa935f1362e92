#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Models/BlockerKind.h"
#include "Models/Result.h"

namespace torvel {

/// One kind of one inhibitor lock, as the system lists it.
struct AssertionRecord {
    /// The holder's process id as the system reports it (not yet checked to fit a pid).
    std::int64_t pid = 0;
    /// What the lock holds off.
    BlockerKind kind = BlockerKind::other;
    /// The lock blocks (logind's mode "block"); false for one that only delays, or an unknown mode.
    bool blocking = false;
    /// The holder's reason; absent when it gave none.
    std::optional<std::string> name;
};

/// The system's table of power assertions held by all processes. Blocks its caller: call it off the
/// main loop.
class AssertionTable {
public:
    virtual ~AssertionTable() = default;
    /// Every assertion, in the system's order. Failure (the table cannot be read): the reason.
    virtual Result<std::vector<AssertionRecord>> read() = 0;
};

/// What the census needs to know of a holder process.
class ProcessInfo {
public:
    struct Identity {
        /// The effective user id.
        std::uint32_t uid = 0;
        /// The kernel's command name, raw (at most 15 bytes on Linux).
        std::string comm;
        /// When it started, in clock ticks after boot: with the pid, what names one process for good.
        /// Absent when unreadable.
        std::optional<std::uint64_t> startTime;
    };

    virtual ~ProcessInfo() = default;
    /// The process's executable name, raw. Failure (gone, not ours to read): an empty string.
    virtual std::string processName(std::int32_t pid) = 0;
    /// Its owner, command name and start time. Failure (gone, unreadable): std::nullopt.
    virtual std::optional<Identity> identity(std::int32_t pid) = 0;
};

}  // namespace torvel
