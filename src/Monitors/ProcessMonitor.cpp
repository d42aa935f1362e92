#include "Monitors/ProcessMonitor.h"

#include <algorithm>
#include <utility>

namespace torvel {

namespace {

// Whether a process of the application `desktopId` is in `apps`. An application without an identity
// matches nothing, not even an empty one.
bool anyHasDesktopId(const std::vector<WorkspaceApplication>& apps, std::string_view desktopId) {
    if (desktopId.empty()) return false;
    return std::any_of(apps.begin(), apps.end(),
                       [&](const WorkspaceApplication& app) { return app.desktopId == desktopId; });
}

}  // namespace

ProcessMonitor::ProcessMonitor(Workspace& workspace, const SystemLocale& locale, LogSink& log)
    : workspace_(workspace), locale_(locale), log_(log, "ProcessMonitor") {}

ProcessMonitor::~ProcessMonitor() {
    pidWatch_.reset();
}

void ProcessMonitor::setWatchedDesktopIds(std::set<std::string> desktopIds) {
    desktopIds.erase(std::string());
    watchedDesktopIds_ = std::move(desktopIds);
    updateSubscription();
    recompute();
}

void ProcessMonitor::watchTransientPID(std::optional<std::int32_t> pid) {
    pidWatch_.reset();
    transientPID_.reset();
    // A pid of 0 or below would name a process group to kill(), not one process.
    if (pid && *pid >= 1 && workspace_.processExists(*pid)) {
        const std::int32_t watched = *pid;
        transientPID_ = watched;
        std::weak_ptr<ProcessMonitor> weak = weakSelf();
        pidWatch_ = workspace_.watchExit(watched, [weak, watched] {
            if (auto monitor = weak.lock()) monitor->handleTransientPIDExit(watched);
        });
        if (pidWatch_) {
            log_.info("Watching transient PID {} until it exits", watched);
        } else {
            // Without an exit notice the computer would stay awake for good: do not count it.
            transientPID_.reset();
            if (workspace_.processExists(watched)) {
                log_.error("Cannot follow transient PID {} to its exit; not keeping awake for it", watched);
            }
        }
    }
    recompute();
}

void ProcessMonitor::handleTransientPIDExit(std::int32_t pid) {
    // The exit of a process whose watch was replaced arrives too late to count.
    if (transientPID_ != pid) return;
    log_.info("Transient PID {} exited", pid);
    transientPID_.reset();
    pidWatch_.reset();  // a watch may be dropped from inside its own callback
    recompute();
}

void ProcessMonitor::setTransientDesktopId(std::optional<std::string> desktopId) {
    transientDesktopId_ = std::move(desktopId);
    updateSubscription();
    recompute();
}

void ProcessMonitor::recompute() {
    // Reading the process list is a scan of /proc: take it at most once here, and only when a rule
    // below needs it.
    std::optional<std::vector<WorkspaceApplication>> apps;
    const auto running = [&]() -> const std::vector<WorkspaceApplication>& {
        if (!apps) apps = workspace_.runningApplications();
        return *apps;
    };

    // A desktop-id watch ends as soon as its application is seen not running, also right after it began.
    if (transientDesktopId_ && !anyHasDesktopId(running(), *transientDesktopId_)) {
        transientDesktopId_.reset();
        updateSubscription();
    }
    bool value = transientPID_.has_value() || transientDesktopId_.has_value();
    if (!value && !watchedDesktopIds_.empty()) {
        value = std::any_of(running().begin(), running().end(), [&](const WorkspaceApplication& app) {
            return app.desktopId && watchedDesktopIds_.count(*app.desktopId) > 0;
        });
    }

    if (value == isActive_) return;
    isActive_ = value;
    log_.info("Process trigger active={}", value);
    activeChanged.emit(value);
}

std::vector<RunningAppInfo> ProcessMonitor::runningApplications() const {
    std::vector<RunningAppInfo> out;
    std::set<std::string> seen;
    for (auto& app : workspace_.runningApplications()) {
        if (!app.isRegular) continue;
        std::string desktopId = app.desktopId.value_or(std::string());
        if (desktopId.empty() || !seen.insert(desktopId).second) continue;
        out.push_back({std::move(desktopId), app.name.value_or(std::string()), app.pid});
    }
    // Stable, so that names sorting alike keep the workspace's order.
    std::stable_sort(out.begin(), out.end(), [this](const RunningAppInfo& a, const RunningAppInfo& b) {
        return locale_.compareIgnoringCase(a.name, b.name) < 0;
    });
    return out;
}

bool ProcessMonitor::isRunning(std::string_view desktopId) const {
    return anyHasDesktopId(workspace_.runningApplications(), desktopId);
}

void ProcessMonitor::handleApplicationsChanged() {
    runningAppsChanged.emit();
    recompute();
}

void ProcessMonitor::setListShown(bool shown) {
    listShown_ = shown;
    updateSubscription();
}

void ProcessMonitor::updateSubscription() {
    // Following launches and terminations means rescanning the process list, and every rescan wakes
    // the machine: subscribe only while something depends on them. Lists asked for on demand are read
    // fresh anyway; only the running-apps revision stands still meanwhile.
    const bool wanted = !watchedDesktopIds_.empty() || transientDesktopId_.has_value() || listShown_;
    if (wanted == isSubscribed_) return;
    isSubscribed_ = wanted;
    if (wanted) {
        applicationsChanged_ =
            workspace_.applicationsChanged.connect([this] { handleApplicationsChanged(); });
    } else {
        applicationsChanged_.reset();
    }
}

}  // namespace torvel
