#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "Models/SleepBlocker.h"
#include "Platform/AssertionTable.h"
#include "Platform/Log.h"

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

    SleepBlockerMonitor(AssertionTable& table, ProcessInfo& processes, LogSink& log, std::int32_t ownPID,
                        std::uint32_t ownUID);

    std::vector<SleepBlocker> currentBlockers() override;

    /// The census over a table already read: blocking types at the on level, without the own process
    /// and without the locks a session manager takes on behalf of applications.
    static std::vector<SleepBlocker> blockers(const std::vector<AssertionRecord>& table, std::int32_t ownPID,
                                              std::uint32_t ownUID, ProcessInfo& processes, Logger& log);
    /// The assertion types that keep the computer from sleeping (display-only types do not).
    static bool isSleepBlockingType(std::string_view type);
    /// The session's own machinery, which is listed but never signalled: the desktop would go with it.
    static bool isProtectedProcessName(std::string_view name);

private:
    AssertionTable& table_;
    ProcessInfo& processes_;
    Logger log_;
    std::int32_t ownPID_;
    std::uint32_t ownUID_;
};

}  // namespace torvel
