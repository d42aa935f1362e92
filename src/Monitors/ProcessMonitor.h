#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Models/RunningAppInfo.h"
#include "Platform/Log.h"
#include "Platform/SystemLocale.h"
#include "Platform/Workspace.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Follows the applications the user asked to keep the computer awake for: the watched list, and one
/// transient watch (a process until it exits, or an application until it is seen not running). Main
/// loop only.
class ProcessMonitor {
public:
    ProcessMonitor(Workspace& workspace, const SystemLocale& locale, LogSink& log);
    ~ProcessMonitor();
    ProcessMonitor(const ProcessMonitor&) = delete;
    ProcessMonitor& operator=(const ProcessMonitor&) = delete;

    /// The last computed trigger state: something watched runs.
    bool isActive() const { return isActive_; }
    /// Told the new value whenever isActive changes.
    Signal<bool> activeChanged;
    /// Told of every launch or termination noticed while something is followed.
    Signal<> runningAppsChanged;

    /// Replaces the watched desktop ids (empty ones never match), then recomputes.
    void setWatchedDesktopIds(std::set<std::string> desktopIds);
    const std::set<std::string>& watchedDesktopIds() const { return watchedDesktopIds_; }
    /// Follows `pid` until it exits, replacing any earlier transient process; std::nullopt ends the
    /// watch. A pid that is not positive or names no process we may signal is ignored. Recomputes.
    void watchTransientPID(std::optional<std::int32_t> pid);
    std::optional<std::int32_t> transientPID() const { return transientPID_; }
    /// Follows an application until it is seen not running (which may be at once); std::nullopt ends
    /// it. Recomputes.
    void setTransientDesktopId(std::optional<std::string> desktopId);
    const std::optional<std::string>& transientDesktopId() const { return transientDesktopId_; }

    /// Whether a view lists the running applications (the settings window while it is open): then
    /// launches and exits are followed for it too, so its list stays current.
    void setListShown(bool shown);

    /// Works out isActive afresh and reports a change.
    void recompute();

    /// The user's visible applications: one entry per desktop id (the first seen), none without an id,
    /// sorted by name as the user's language sorts, ignoring case. Read fresh on every call.
    std::vector<RunningAppInfo> runningApplications() const;
    /// Whether any running process belongs to the application `desktopId` (exact match; never for "").
    bool isRunning(std::string_view desktopId) const;

    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<ProcessMonitor> weakSelf() { return lifetime_.weakPointer(*this); }

private:
    void handleTransientPIDExit(std::int32_t pid);
    void handleApplicationsChanged();
    void updateSubscription();

    Workspace& workspace_;
    const SystemLocale& locale_;
    Logger log_;
    bool isActive_ = false;
    std::set<std::string> watchedDesktopIds_;
    std::optional<std::int32_t> transientPID_;
    std::optional<std::string> transientDesktopId_;
    std::unique_ptr<ProcessWatch> pidWatch_;
    bool isSubscribed_ = false;
    bool listShown_ = false;
    Connection applicationsChanged_;
    Lifetime lifetime_;
};

}  // namespace torvel
