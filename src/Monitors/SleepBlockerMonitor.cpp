#include "Monitors/SleepBlockerMonitor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "Models/ShownText.h"

namespace torvel {

namespace {

// The kernel keeps this many bytes of a command name on Linux.
constexpr std::size_t kCommLength = 15;

// Session managers and power services that turn an application's inhibit request into a lock of their
// own (Cinnamon's, for one, takes a logind sleep lock whenever any application inhibits through it). The
// lock is the application's (often Torvel's own), and ending the relay ends the session.
constexpr std::array<std::string_view, 13> kRelayNames{
    "gnome-session-binary", "gnome-session",      "cinnamon-session",   "cinnamon-session-binary",
    "mate-session",         "budgie-session-binary", "budgie-session", "lxqt-session",
    "xfce4-session",        "ksmserver",          "org_kde_powerdevil", "xfce4-power-manager",
    "mate-power-manager"};

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// `name` is `full`, or the kernel's cut of it.
bool namesProgram(std::string_view name, std::string_view full) {
    return name == full ||
           (name.size() == kCommLength && full.size() > kCommLength && startsWith(full, name));
}

std::string shown(std::string_view raw) { return cappedText(sanitizedText(raw), SleepBlockerMonitor::kTextCap); }

}  // namespace

SleepBlockerMonitor::SleepBlockerMonitor(AssertionTable& table, ProcessInfo& processes, LogSink& log,
                                         std::int32_t ownPID, std::uint32_t ownUID, SessionRelays* relays)
    : table_(table),
      processes_(processes),
      relays_(relays),
      log_(log, "SleepBlockers"),
      ownPID_(ownPID),
      ownUID_(ownUID) {}

std::vector<SleepBlocker> SleepBlockerMonitor::currentBlockers() {
    const auto table = table_.read();
    if (!table) {
        log_.error("Reading the assertion table failed: {}", table.error());
        return {};
    }
    // Only a blocking lock of another process needs the session's names looked up (logind always lists
    // some locks that block nothing).
    const bool anyBlocking = std::any_of(table->begin(), table->end(), [this](const AssertionRecord& record) {
        return record.pid != ownPID_ && blocksSleep(record.kind) && record.blocking;
    });
    std::vector<std::int32_t> relayPids;
    if (relays_ && anyBlocking) {
        std::string error;
        relayPids = relays_->ownerPids(&error);
        // The known session managers are still recognised by name.
        if (!error.empty()) log_.error("Looking up the session's services failed: {}", error);
    }
    return blockers(*table, ownPID_, ownUID_, processes_, log_, relayPids);
}

bool SleepBlockerMonitor::isSessionRelayName(std::string_view name) {
    return std::any_of(kRelayNames.begin(), kRelayNames.end(),
                       [name](std::string_view relay) { return namesProgram(name, relay); });
}

bool SleepBlockerMonitor::isProtectedProcessName(std::string_view name) {
    static constexpr std::array<std::string_view, 12> exact{
        "systemd",  "dbus-daemon", "dbus-broker", "gnome-shell", "plasmashell", "Xorg",
        "Xwayland", "pipewire",    "wireplumber", "torvel",      "systemd-logind", "cinnamon"};
    if (isSessionRelayName(name)) return true;
    if (std::any_of(exact.begin(), exact.end(),
                    [name](std::string_view own) { return namesProgram(name, own); }))
        return true;
    return startsWith(name, "gsd-") || startsWith(name, "csd-") || startsWith(name, "kwin_");
}

std::vector<SleepBlocker> SleepBlockerMonitor::blockers(const std::vector<AssertionRecord>& table,
                                                        std::int32_t ownPID, std::uint32_t ownUID,
                                                        ProcessInfo& processes, Logger& log,
                                                        const std::vector<std::int32_t>& relayPids) {
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
        bool relay = false;
        std::string processName;
        std::optional<ProcessInfo::Identity> identity;
        for (std::size_t k = first; k < end; ++k) {
            const AssertionRecord& record = *ordered[k];
            if (!blocksSleep(record.kind) || !record.blocking) continue;
            if (taken == kAssertionsPerHolder) break;
            if (!read) {
                processName = shown(processes.processName(pid));
                identity = processes.identity(pid);
                read = true;
                relay = std::find(relayPids.begin(), relayPids.end(), pid) != relayPids.end() ||
                        isSessionRelayName(processName) || (identity && isSessionRelayName(identity->comm));
            }
            const std::string comm = identity ? shown(identity->comm) : std::string();
            result.push_back(SleepBlocker{pid, processName, record.kind, shown(record.name.value_or("")),
                                          identity && identity->uid == ownUID, comm,
                                          identity ? identity->startTime : std::nullopt, relay});
            ++taken;
        }
        if (taken > 0) ++holders;
    }
    if (holders >= kHolderCap)
        log.error("assertion table hit the {} holder cap — the list below is truncated", kHolderCap);
    return result;
}

}  // namespace torvel
