#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Support/Signal.h"

namespace torvel {

/// One process the desktop knows as an application.
struct WorkspaceApplication {
    /// The identity of the application (on Linux its desktop-file id, "org.gnome.Terminal"); absent
    /// for a process that matches no installed application.
    std::optional<std::string> desktopId;
    /// The name shown to the user, in the user's language; absent when the application has none.
    std::optional<std::string> name;
    std::int32_t pid = 0;
    /// Shown to the user as an application (a launcher entry that is not hidden), not a helper or a
    /// background service.
    bool isRegular = false;
};

/// A watch on one process's exit; destroying it ends the watch, and the callback never runs after that.
/// Destroying it from inside its own callback is allowed.
class ProcessWatch {
public:
    virtual ~ProcessWatch() = default;
};

/// The running applications of this user, their launches and terminations, and process exits.
/// Callbacks run on the main loop.
class Workspace {
public:
    virtual ~Workspace() = default;
    /// The user's running applications. Failure (nothing readable): an empty list.
    virtual std::vector<WorkspaceApplication> runningApplications() = 0;
    /// Emitted after an application starts or ends. A change may be noticed late (the list is rescanned)
    /// but is never reported before runningApplications() shows it.
    Signal<> applicationsChanged;
    /// Whether a process with this id exists and may be signalled by this user (kill(pid, 0) == 0).
    virtual bool processExists(std::int32_t pid) = 0;
    /// Calls `onExit` once when the process ends. Failure (no such process, or it cannot be
    /// watched): nullptr, and the callback never runs.
    virtual std::unique_ptr<ProcessWatch> watchExit(std::int32_t pid, std::function<void()> onExit) = 0;

protected:
    Workspace() = default;
    /// For an adapter that looks for changes only while someone listens (see Signal).
    explicit Workspace(std::function<void(bool observed)> onObservedChanged)
        : applicationsChanged(std::move(onObservedChanged)) {}
};

}  // namespace torvel
