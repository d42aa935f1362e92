#include "Platform/Sim/SimWorkspace.h"

#include <algorithm>
#include <utility>

namespace torvel {

struct SimWorkspace::WatchEntry {
    std::int32_t pid = 0;
    std::function<void()> onExit;
};

namespace {

// Owns one entry; the workspace sees it only weakly, so destroying the watch ends it.
class SimProcessWatch : public ProcessWatch {
public:
    explicit SimProcessWatch(std::shared_ptr<SimWorkspace::WatchEntry> entry) : entry_(std::move(entry)) {}

private:
    std::shared_ptr<SimWorkspace::WatchEntry> entry_;
};

}  // namespace

SimWorkspace::SimWorkspace(Scheduler& scheduler) : scheduler_(scheduler) {}

std::vector<WorkspaceApplication> SimWorkspace::runningApplications() {
    ++reads_;
    return apps_;
}

bool SimWorkspace::processExists(std::int32_t pid) {
    if (pid < 1) return false;
    return otherProcesses_.count(pid) > 0 ||
           std::any_of(apps_.begin(), apps_.end(),
                       [pid](const WorkspaceApplication& app) { return app.pid == pid; });
}

std::unique_ptr<ProcessWatch> SimWorkspace::watchExit(std::int32_t pid, std::function<void()> onExit) {
    if (std::exchange(failNextWatch_, false) || !processExists(pid)) return nullptr;
    auto entry = std::make_shared<WatchEntry>(WatchEntry{pid, std::move(onExit)});
    std::erase_if(watches_, [](const std::weak_ptr<WatchEntry>& w) { return w.expired(); });
    watches_.push_back(entry);
    return std::make_unique<SimProcessWatch>(std::move(entry));
}

void SimWorkspace::launch(WorkspaceApplication app) {
    apps_.push_back(std::move(app));
    announceChange();
}

std::int32_t SimWorkspace::launch(const std::string& desktopId, const std::string& name) {
    while (processExists(nextPID_)) ++nextPID_;
    const std::int32_t pid = nextPID_++;
    launch(WorkspaceApplication{desktopId, name, pid, true});
    return pid;
}

void SimWorkspace::quit(const std::string& desktopId) {
    std::vector<std::int32_t> pids;
    for (const auto& app : apps_) {
        if (app.desktopId == desktopId) pids.push_back(app.pid);
    }
    for (const auto pid : pids) exitProcess(pid);
}

void SimWorkspace::exitProcess(std::int32_t pid) {
    otherProcesses_.erase(pid);
    const auto removed =
        std::erase_if(apps_, [pid](const WorkspaceApplication& app) { return app.pid == pid; });
    if (removed > 0) announceChange();

    std::vector<std::weak_ptr<WatchEntry>> ending;
    for (const auto& watch : watches_) {
        if (auto entry = watch.lock(); entry && entry->pid == pid) ending.push_back(watch);
    }
    scheduler_.post([ending = std::move(ending)] {
        for (const auto& watch : ending) {
            auto entry = watch.lock();
            if (!entry || !entry->onExit) continue;
            // Once only; the watcher may destroy its watch while being told.
            const auto onExit = std::exchange(entry->onExit, nullptr);
            onExit();
        }
    });
}

std::size_t SimWorkspace::activeExitWatches() const {
    return static_cast<std::size_t>(std::count_if(
        watches_.begin(), watches_.end(), [](const std::weak_ptr<WatchEntry>& w) { return !w.expired(); }));
}

void SimWorkspace::announceChange() {
    scheduler_.post(lifetime_.guard([this] { applicationsChanged.emit(); }));
}

}  // namespace torvel
