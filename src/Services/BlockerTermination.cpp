#include "Services/BlockerTermination.h"

#include <map>
#include <optional>
#include <string>

#include "Models/ShownText.h"
#include "Monitors/SleepBlockerMonitor.h"

namespace torvel {

namespace {

struct Target {
    std::string name;
    std::optional<std::uint64_t> startTime;
};

}  // namespace

std::vector<std::int32_t> terminateBlockers(const std::vector<SleepBlocker>& blockers, ProcessControl& control,
                                            std::uint32_t ownUID, Logger& log) {
    // One entry per process, however many locks it holds, in pid order.
    std::map<std::int32_t, Target> targets;
    for (const auto& blocker : blockers) {
        if (blocker.pid <= 0 || blocker.processName.empty() || !blocker.isOwnedByCurrentUser) continue;
        if (blocker.isSessionRelay || SleepBlockerMonitor::isProtectedProcessName(blocker.processName) ||
            SleepBlockerMonitor::isProtectedProcessName(blocker.commName))
            continue;
        targets.try_emplace(blocker.pid, Target{blocker.processName, blocker.startTime});
    }
    if (targets.empty()) return {};
    // As root, "this user's" would take in every system daemon holding a lock (a package manager in the
    // middle of a transaction among them).
    if (ownUID == 0) {
        log.error("running as root — not terminating {} blocker(s): every system daemon would pass as ours",
                  targets.size());
        return {};
    }

    std::vector<std::int32_t> signalled;
    for (const auto& [pid, target] : targets) {
        const auto skipRecycled = [&, pid = pid, name = target.name] {
            log.error("pid {} is no longer {} — skipping rather than signalling a recycled PID", pid, name);
        };
        int error = 0;
        // Pinned first, then checked: what is read below belongs to the process the signal will reach.
        const auto process = control.open(pid, &error);
        if (!process) {
            skipRecycled();
            continue;
        }
        const std::string current = cappedText(sanitizedText(process->processName()), SleepBlockerMonitor::kTextCap);
        const auto identity = process->identity();
        if (current != target.name || !identity || identity->uid != ownUID || !process->isAlive()) {
            skipRecycled();
            continue;
        }
        // Name and owner match any process of the same program; the start time tells this one from a newer
        // one that got the pid between the census and now.
        if (!target.startTime || !identity->startTime) {
            log.error("pid {} ({}): start time unreadable — not signalling what may be a recycled PID", pid,
                      target.name);
            continue;
        }
        if (*identity->startTime != *target.startTime) {
            skipRecycled();
            continue;
        }
        if (const int failure = process->terminate(); failure != 0) {
            log.error("SIGTERM to pid {} failed: errno {}", pid, failure);
            continue;
        }
        log.info("SIGTERM sent to blocker pid {}", pid);
        signalled.push_back(pid);
    }
    return signalled;
}

}  // namespace torvel
