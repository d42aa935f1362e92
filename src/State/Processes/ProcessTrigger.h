#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Models/RunningAppInfo.h"
#include "Models/WatchedApp.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

class DefaultsStore;
class ProcessMonitor;
class SessionControl;

/// The process trigger: the applications the user keeps the computer awake for, the transient watches
/// of one process or one application, and the wiring to the process monitor, which reports whether any
/// of them runs (MonitorValues::isProcessTriggerActive). Main thread only.
class ProcessTrigger {
public:
    /// How the trigger reaches the process monitor; an empty closure is skipped.
    struct Hooks {
        std::function<void(std::set<std::string>)> setWatched;
        std::function<void(std::optional<std::int32_t>)> watchTransientPID;
        std::function<void(std::optional<std::string>)> watchTransientDesktopId;
        std::function<std::vector<RunningAppInfo>()> runningApps;
    };

    /// Loads the stored list of watched applications.
    ProcessTrigger(SessionControl& session, Clock& clock, DefaultsStore& defaults, LogSink& log);
    /// Unwires the attached monitor, so it calls nothing that is gone.
    ~ProcessTrigger();
    ProcessTrigger(const ProcessTrigger&) = delete;
    ProcessTrigger& operator=(const ProcessTrigger&) = delete;

    /// The applications the user keeps the computer awake for.
    const std::vector<WatchedApp>& watchedApps() const { return watchedApps_; }
    /// Stores the list whole, hands the watched desktop ids on and re-evaluates.
    void setWatchedApps(std::vector<WatchedApp> apps);
    /// Bumped on every launch or termination the process monitor notices, so lists refresh.
    std::uint64_t runningAppsRevision() const { return runningAppsRevision_; }
    /// Tells views of every launch or termination the monitor noticed.
    Signal<> runningAppsChanged;

    /// Replaces the way to the monitor (tests and views without a monitor install closures of their own).
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    /// Wires `monitor` both ways (each side holding the other weakly), hands it the watched desktop ids
    /// and takes over its current state. Replaces an earlier monitor.
    void attachMonitor(ProcessMonitor& monitor);
    /// Unwires the attached monitor (if it still exists), drops the hooks and stops counting the
    /// trigger as active.
    void detachMonitor();
    /// Hands the monitor the watched desktop ids: none while the process trigger is switched off.
    void pushWatchedDesktopIds();
    /// The visible running applications, sorted by name; empty without a monitor.
    std::vector<RunningAppInfo> runningApplications() const;
    /// A view shows the running applications while `shown`: the process monitor then follows launches
    /// and exits for it (runningAppsChanged), as it does otherwise only while something is watched.
    void setRunningAppsShown(bool shown);
    /// Keeps the computer awake until process `pid` exits; std::nullopt ends the transient watch.
    void watchTransientPID(std::optional<std::int32_t> pid);
    /// Keeps the computer awake while `desktopId` runs; std::nullopt ends that watch.
    void watchTransientDesktopId(std::optional<std::string> desktopId);

private:
    void unwireMonitor();
    void setActive(bool active);

    SessionControl& session_;
    DefaultsStore& defaults_;
    Logger log_;
    std::vector<WatchedApp> watchedApps_;
    std::uint64_t runningAppsRevision_ = 0;
    bool runningAppsShown_ = false;
    Hooks hooks_;
    std::weak_ptr<ProcessMonitor> monitor_;
    /// The monitor's answers and its running-apps changes, while it is attached.
    std::vector<Connection> monitorConnections_;
    Lifetime lifetime_;
};

}  // namespace torvel
