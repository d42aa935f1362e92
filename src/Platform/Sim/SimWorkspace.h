#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/Scheduler.h"
#include "Platform/Workspace.h"
#include "Support/Lifetime.h"

namespace torvel {

/// A scriptable list of running applications and processes. Launches, terminations and exits are
/// announced on the main loop, after the list already shows them, as the real rescan does.
class SimWorkspace : public Workspace {
public:
    explicit SimWorkspace(Scheduler& scheduler);

    std::vector<WorkspaceApplication> runningApplications() override;
    bool processExists(std::int32_t pid) override;
    std::unique_ptr<ProcessWatch> watchExit(std::int32_t pid, std::function<void()> onExit) override;

    // Injectors.
    /// Replaces the list without announcing anything (the state before the test starts).
    void setRunningApplications(std::vector<WorkspaceApplication> apps) { apps_ = std::move(apps); }
    /// An application starts: appended to the list, then announced.
    void launch(WorkspaceApplication app);
    /// Launches a visible application under a new pid, which it returns.
    std::int32_t launch(const std::string& desktopId, const std::string& name);
    /// An application quits: the same as exitProcess().
    void terminate(std::int32_t pid) { exitProcess(pid); }
    /// Every process of the application `desktopId` quits.
    void quit(const std::string& desktopId);
    /// A process that is no application (a shell, a build) starts; processExists() sees it.
    void addProcess(std::int32_t pid) { otherProcesses_.insert(pid); }
    /// A process ends: it leaves the list (announced when it was an application), and the exit
    /// watches on it fire on the main loop, unless they are destroyed first.
    void exitProcess(std::int32_t pid);
    /// The next watchExit() fails, as when the process cannot be watched.
    void failNextWatch() { failNextWatch_ = true; }

    // Recorders.
    /// True while someone gets the change notification.
    bool isObservingChanges() const { return applicationsChanged.isObserved(); }
    /// How often the list was read.
    int readCount() const { return reads_; }
    /// Exit watches not yet destroyed.
    std::size_t activeExitWatches() const;

    struct WatchEntry;

private:
    void announceChange();

    Scheduler& scheduler_;
    std::vector<WorkspaceApplication> apps_;
    std::set<std::int32_t> otherProcesses_;
    bool failNextWatch_ = false;
    int reads_ = 0;
    std::int32_t nextPID_ = 1000;  // above the pids tests pick by hand
    std::vector<std::weak_ptr<WatchEntry>> watches_;
    // Posted deliveries do nothing once the sim is gone.
    Lifetime lifetime_;
};

}  // namespace torvel
