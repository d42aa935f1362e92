#include "Services/BlockerTermination.h"

#include <map>
#include <string>

#include "Models/ShownText.h"
#include "Monitors/SleepBlockerMonitor.h"

namespace torvel {

std::vector<std::int32_t> terminateBlockers(const std::vector<SleepBlocker>& blockers, ProcessControl& control,
                                            std::uint32_t ownUID, Logger& log) {
    // One entry per process, however many locks it holds, in pid order.
    std::map<std::int32_t, std::string> targets;
    for (const auto& blocker : blockers) {
        if (blocker.pid <= 0 || blocker.processName.empty() || !blocker.isOwnedByCurrentUser) continue;
        if (SleepBlockerMonitor::isProtectedProcessName(blocker.processName)) continue;
        targets[blocker.pid] = blocker.processName;
    }

    std::vector<std::int32_t> signalled;
    for (const auto& [pid, name] : targets) {
        const auto skipRecycled = [&, pid = pid, name = name] {
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
        if (current != name || !identity || identity->uid != ownUID || !process->isAlive()) {
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
