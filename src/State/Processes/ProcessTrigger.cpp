// The process trigger: the watched applications, and the wiring to the process monitor.
#include "State/Processes/ProcessTrigger.h"

#include "Core/Settings.h"
#include "Monitors/ProcessMonitor.h"
#include "Platform/DefaultsStore.h"
#include "State/SessionControl.h"

namespace torvel {

namespace {
constexpr std::string_view kWatchedAppsKey = "watchedApps";
}

ProcessTrigger::ProcessTrigger(SessionControl& session, Clock& clock, DefaultsStore& defaults, LogSink& log)
    : session_(session), defaults_(defaults), log_(log, "AppState") {
    watchedApps_ = loadStoredList<WatchedApp>(
        defaults_, kWatchedAppsKey,
        [](std::string_view text, std::string* error, std::vector<WatchedApp>* readable) {
            auto list = watchedAppsFromJson(text, readable);
            if (!list) *error = list.error();
            return list;
        },
        log_, clock.now());
}

ProcessTrigger::~ProcessTrigger() {
    unwireMonitor();
}

void ProcessTrigger::setWatchedApps(std::vector<WatchedApp> apps) {
    watchedApps_ = std::move(apps);
    session_.publishSettingChanged(kWatchedAppsKey);
    // On failure the list stays in memory and is written again with the next change.
    if (const auto json = watchedAppsToJson(watchedApps_)) {
        if (!defaults_.set(kWatchedAppsKey, DefaultsData::fromString(*json))) {
            log_.error("Failed to persist watchedApps: {}", "the defaults store could not write it");
        }
    } else {
        log_.error("Failed to persist watchedApps: {}", json.error());
    }
    pushWatchedDesktopIds();
    session_.reevaluateState();
}

void ProcessTrigger::pushWatchedDesktopIds() {
    std::set<std::string> desktopIds;
    if (session_.settings().processTriggerEnabled) {
        for (const auto& app : watchedApps_) {
            if (!app.desktopId.empty()) desktopIds.insert(app.desktopId);
        }
    }
    if (hooks_.setWatched) hooks_.setWatched(std::move(desktopIds));
}

std::vector<RunningAppInfo> ProcessTrigger::runningApplications() const {
    return hooks_.runningApps ? hooks_.runningApps() : std::vector<RunningAppInfo>{};
}

void ProcessTrigger::watchTransientPID(std::optional<std::int32_t> pid) {
    if (hooks_.watchTransientPID) hooks_.watchTransientPID(pid);
}

void ProcessTrigger::watchTransientDesktopId(std::optional<std::string> desktopId) {
    if (hooks_.watchTransientDesktopId) hooks_.watchTransientDesktopId(std::move(desktopId));
}

void ProcessTrigger::setRunningAppsShown(bool shown) {
    runningAppsShown_ = shown;
    if (auto monitor = monitor_.lock()) monitor->setListShown(shown);
}

void ProcessTrigger::setActive(bool active) {
    session_.updateMonitorValues([active](MonitorValues& m) { m.isProcessTriggerActive = active; });
}

void ProcessTrigger::attachMonitor(ProcessMonitor& monitor) {
    unwireMonitor();
    std::weak_ptr<ProcessMonitor> weak = monitor.weakSelf();
    monitor_ = weak;
    hooks_ = Hooks{
        [weak](std::set<std::string> desktopIds) {
            if (auto m = weak.lock()) m->setWatchedDesktopIds(std::move(desktopIds));
        },
        [weak](std::optional<std::int32_t> pid) {
            if (auto m = weak.lock()) m->watchTransientPID(pid);
        },
        [weak](std::optional<std::string> desktopId) {
            if (auto m = weak.lock()) m->setTransientDesktopId(std::move(desktopId));
        },
        [weak]() -> std::vector<RunningAppInfo> {
            if (auto m = weak.lock()) return m->runningApplications();
            return {};
        },
    };

    monitorConnections_.push_back(monitor.activeChanged.connect([this](bool active) { setActive(active); }));
    monitorConnections_.push_back(monitor.runningAppsChanged.connect([this] {
        ++runningAppsRevision_;
        runningAppsChanged.emit();
    }));

    monitor.setListShown(runningAppsShown_);
    pushWatchedDesktopIds();
    // The push reports a change itself; a monitor that was already active before needs this.
    if (session_.monitorValues().isProcessTriggerActive != monitor.isActive()) setActive(monitor.isActive());
}

void ProcessTrigger::detachMonitor() {
    unwireMonitor();
    // Nothing reports the end of what the monitor followed any more.
    if (session_.monitorValues().isProcessTriggerActive) setActive(false);
}

void ProcessTrigger::unwireMonitor() {
    if (auto monitor = monitor_.lock()) {
        monitor->setListShown(false);
    }
    monitorConnections_.clear();
    monitor_.reset();
    hooks_ = {};
}

}  // namespace torvel
