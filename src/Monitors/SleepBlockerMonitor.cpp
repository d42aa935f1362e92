#include "Monitors/SleepBlockerMonitor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "Models/ShownText.h"

namespace torvel {

namespace {

constexpr std::uint32_t kLevelOn = 255;

// Session managers that turn an application's inhibit request into a lock of their own. The lock is the
// application's (often Torvel's own), not theirs, and it ends with the application's request; counting
// it would name the session as the blocker.
constexpr std::array<std::string_view, 4> kRelayingSessionManagers{
    "gnome-session-binary", "gnome-session-b", "org_kde_powerdevil", "org_kde_powerde"};

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string shown(std::string_view raw) { return cappedText(sanitizedText(raw), SleepBlockerMonitor::kTextCap); }

}  // namespace

SleepBlockerMonitor::SleepBlockerMonitor(AssertionTable& table, ProcessInfo& processes, LogSink& log,
                                         std::int32_t ownPID, std::uint32_t ownUID)
    : table_(table), processes_(processes), log_(log, "SleepBlockers"), ownPID_(ownPID), ownUID_(ownUID) {}

std::vector<SleepBlocker> SleepBlockerMonitor::currentBlockers() {
    std::string error;
    const auto table = table_.read(&error);
    if (!table) {
        log_.error("Reading the assertion table failed: {}", error);
        return {};
    }
    return blockers(*table, ownPID_, ownUID_, processes_, log_);
}

bool SleepBlockerMonitor::isSleepBlockingType(std::string_view type) {
    return type == "PreventUserIdleSystemSleep" || type == "PreventSystemSleep" || type == "NoIdleSleepAssertion";
}

bool SleepBlockerMonitor::isProtectedProcessName(std::string_view name) {
    static constexpr std::array<std::string_view, 14> exact{
        "systemd",      "dbus-daemon", "dbus-broker", "gnome-session-binary", "gnome-shell", "plasmashell",
        "ksmserver",    "xfce4-session", "Xorg",      "Xwayland",             "pipewire",    "wireplumber",
        "torvel",       "systemd-logind"};
    if (std::find(exact.begin(), exact.end(), name) != exact.end()) return true;
    return startsWith(name, "gsd-") || startsWith(name, "kwin_");
}

std::vector<SleepBlocker> SleepBlockerMonitor::blockers(const std::vector<AssertionRecord>& table,
                                                        std::int32_t ownPID, std::uint32_t ownUID,
                                                        ProcessInfo& processes, Logger& log) {
    // Group by holder, lowest pid first; a holder's assertions keep the system's order.
    std::vector<const AssertionRecord*> ordered;
    ordered.reserve(table.size());
    for (const auto& record : table) ordered.push_back(&record);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const AssertionRecord* a, const AssertionRecord* b) { return a->pid < b->pid; });

    std::vector<SleepBlocker> result;
    std::size_t holders = 0;
    for (std::size_t i = 0; i < ordered.size();) {
        std::size_t end = i;
        while (end < ordered.size() && ordered[end]->pid == ordered[i]->pid) ++end;
        const std::int64_t rawPID = ordered[i]->pid;
        const std::size_t first = i;
        i = end;
        // A number that is no process id cannot be named or signalled.
        if (rawPID <= 0 || rawPID > std::numeric_limits<std::int32_t>::max()) continue;
        const auto pid = static_cast<std::int32_t>(rawPID);
        if (pid == ownPID) continue;
        if (holders >= kHolderCap) break;

        std::size_t taken = 0;
        bool read = false;
        std::string processName;
        std::optional<ProcessInfo::Identity> identity;
        for (std::size_t k = first; k < end; ++k) {
            const AssertionRecord& record = *ordered[k];
            if (!record.type || !isSleepBlockingType(*record.type)) continue;
            if (record.level && *record.level != kLevelOn) continue;
            if (taken == kAssertionsPerHolder) break;
            if (!read) {
                processName = shown(processes.processName(pid));
                identity = processes.identity(pid);
                read = true;
            }
            const std::string comm = identity ? shown(identity->comm) : std::string();
            if (std::find(kRelayingSessionManagers.begin(), kRelayingSessionManagers.end(),
                          processName.empty() ? comm : processName) != kRelayingSessionManagers.end())
                break;
            result.push_back(SleepBlocker{pid, processName, *record.type, shown(record.name.value_or("")),
                                          identity && identity->uid == ownUID, comm});
            ++taken;
        }
        if (taken > 0) ++holders;
    }
    if (holders >= kHolderCap)
        log.error("assertion table hit the {} holder cap — the list below is truncated", kHolderCap);
    return result;
}

}  // namespace torvel
