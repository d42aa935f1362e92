// The process trigger: the watched applications, and the wiring to the process monitor.
#include "State/AppState.h"
#include "Core/Settings.h"
#include "Monitors/ProcessMonitor.h"
#include "Platform/DefaultsStore.h"

namespace torvel {

namespace {
constexpr std::string_view kWatchedAppsKey = "watchedApps";
}

void AppState::loadWatchedApps() {
    watchedApps_ = loadStoredList<WatchedApp>(
        services_.defaults, kWatchedAppsKey,
        [](std::string_view text, std::string* error, std::vector<WatchedApp>* readable) {
            return watchedAppsFromJson(text, error, readable);
        },
        log_, services_.clock.now());
}

void AppState::setWatchedApps(std::vector<WatchedApp> apps) {
    watchedApps_ = std::move(apps);
    settingChanged.emit(kWatchedAppsKey);
    // On failure the list stays in memory and is written again with the next change.
    std::string error;
    if (const auto json = watchedAppsToJson(watchedApps_, &error)) {
        if (!services_.defaults.set(kWatchedAppsKey, DefaultsData::fromString(*json))) {
            log_.error("Failed to persist watchedApps: {}", "the defaults store could not write it");
        }
    } else {
        log_.error("Failed to persist watchedApps: {}", error);
    }
    pushWatchedBundleIDs();
    reevaluateState();
}

void AppState::pushWatchedBundleIDs() {
    std::set<std::string> bundleIDs;
    if (settings_.processTriggerEnabled) {
        for (const auto& app : watchedApps_) {
            if (!app.bundleID.empty()) bundleIDs.insert(app.bundleID);
        }
    }
    if (processHooks_.setWatched) processHooks_.setWatched(std::move(bundleIDs));
}

std::vector<RunningAppInfo> AppState::runningApplications() const {
    return processHooks_.runningApps ? processHooks_.runningApps() : std::vector<RunningAppInfo>{};
}

void AppState::watchTransientPID(std::optional<std::int32_t> pid) {
    if (processHooks_.watchTransientPID) processHooks_.watchTransientPID(pid);
}

void AppState::watchTransientBundle(std::optional<std::string> bundleID) {
    if (processHooks_.watchTransientBundle) processHooks_.watchTransientBundle(std::move(bundleID));
}

void AppState::setRunningAppsShown(bool shown) {
    runningAppsShown_ = shown;
    if (auto monitor = processMonitor_.lock()) monitor->setListShown(shown);
}

void AppState::attachProcessMonitor(ProcessMonitor& monitor) {
    unwireProcessMonitor();
    std::weak_ptr<ProcessMonitor> weak = monitor.weakSelf();
    processMonitor_ = weak;
    processHooks_ = ProcessHooks{
        [weak](std::set<std::string> bundleIDs) {
            if (auto m = weak.lock()) m->setWatchedBundleIDs(std::move(bundleIDs));
        },
        [weak](std::optional<std::int32_t> pid) {
            if (auto m = weak.lock()) m->watchTransientPID(pid);
        },
        [weak](std::optional<std::string> bundleID) {
            if (auto m = weak.lock()) m->setTransientBundleID(std::move(bundleID));
        },
        [weak]() -> std::vector<RunningAppInfo> {
            if (auto m = weak.lock()) return m->runningApplications();
            return {};
        },
    };

    std::weak_ptr<int> alive = lifetime_;
    processMonitorConnections_.push_back(monitor.activeChanged.connect([this, alive](bool active) {
        if (!alive.lock()) return;
        updateMonitorValues([active](MonitorValues& m) { m.isProcessTriggerActive = active; });
    }));
    processMonitorConnections_.push_back(monitor.runningAppsChanged.connect([this, alive] {
        if (!alive.lock()) return;
        ++runningAppsRevision_;
        runningAppsChanged.emit();
    }));

    monitor.setListShown(runningAppsShown_);
    pushWatchedBundleIDs();
    // The push reports a change itself; a monitor that was already active before needs this.
    if (monitors_.isProcessTriggerActive != monitor.isActive()) {
        const bool active = monitor.isActive();
        updateMonitorValues([active](MonitorValues& m) { m.isProcessTriggerActive = active; });
    }
}

void AppState::detachProcessMonitor() {
    unwireProcessMonitor();
    // Nothing reports the end of what the monitor followed any more.
    if (monitors_.isProcessTriggerActive) {
        updateMonitorValues([](MonitorValues& m) { m.isProcessTriggerActive = false; });
    }
}

void AppState::unwireProcessMonitor() {
    if (auto monitor = processMonitor_.lock()) {
        monitor->setListShown(false);
    }
    processMonitorConnections_.clear();
    processMonitor_.reset();
    processHooks_ = {};
}

}  // namespace torvel
