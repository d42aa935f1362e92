#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "Models/SleepBlocker.h"
#include "Platform/AssertionTable.h"
#include "Platform/Log.h"
#include "Platform/SessionRelays.h"

namespace torvel {

/// Which other processes keep the computer from sleeping right now. Each call is a fresh census of the
/// system's assertion table; the monitor keeps no history and runs no timer.
class SleepBlockerMonitorProtocol {
public:
    virtual ~SleepBlockerMonitorProtocol() = default;
    /// The blockers, by pid. Blocks on the system: call it off the main loop.
    virtual std::vector<SleepBlocker> currentBlockers() = 0;
};

class SleepBlockerMonitor : public SleepBlockerMonitorProtocol {
public:
    /// At most this many processes are listed, so a flood of holders cannot swamp the menu or the log.
    static constexpr std::size_t kHolderCap = 50;
    /// At most this many assertions of one process.
    static constexpr std::size_t kAssertionsPerHolder = 10;
    /// Names and reasons longer than this many characters are cut and end in "…".
    static constexpr std::size_t kTextCap = 200;

    /// `relays` (optional) names the session's services by the bus names they own; without it only
    /// the known session managers are recognised, by name.
    SleepBlockerMonitor(AssertionTable& table, ProcessInfo& processes, LogSink& log, std::int32_t ownPID,
                        std::uint32_t ownUID, SessionRelays* relays = nullptr);

    std::vector<SleepBlocker> currentBlockers() override;

    /// The census over a table already read: blocking locks of kinds that block sleep, without the own
    /// process.
    /// A lock held by the session on behalf of its applications (a known session manager by name, or
    /// one of `relayPids`) is listed, marked as the session's.
    static std::vector<SleepBlocker> blockers(const std::vector<AssertionRecord>& table, std::int32_t ownPID,
                                              std::uint32_t ownUID, ProcessInfo& processes, Logger& log,
                                              const std::vector<std::int32_t>& relayPids = {});
    /// Session managers and power services that lock on behalf of applications, by executable name
    /// or by the kernel's command name (cut to 15 bytes).
    static bool isSessionRelayName(std::string_view name);
    /// The session's own machinery, which is listed but never signalled: the desktop would go with it.
    /// Takes an executable name or a command name.
    static bool isProtectedProcessName(std::string_view name);

private:
    AssertionTable& table_;
    ProcessInfo& processes_;
    SessionRelays* relays_;
    Logger log_;
    std::int32_t ownPID_;
    std::uint32_t ownUID_;
};

}  // namespace torvel
