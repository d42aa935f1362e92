#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/ProcessControl.h"
#include "Platform/Sim/SimSleepBlockers.h"

namespace torvel {

/// The simulated machine's processes as targets of signals: add them, make them vanish or recycle
/// their pid, make a signal fail; records every SIGTERM that was sent.
class SimProcessControl : public ProcessControl {
public:
    struct Process {
        std::string name;
        std::uint32_t uid = 0;
        /// Becomes false once the process is gone (a handle opened before keeps it that way).
        bool alive = true;
        /// The errno a SIGTERM fails with; 0 succeeds.
        int terminateError = 0;
        /// When it started; absent: unreadable.
        std::optional<std::uint64_t> startTime;
    };

    std::unique_ptr<ProcessHandle> open(std::int32_t pid, int* error) override;

    /// A process started at simStartTime(pid), as the simulated census sees it.
    void addProcess(std::int32_t pid, std::string name, std::uint32_t uid) {
        processes_[pid] = {std::move(name), uid, true, 0, simStartTime(pid)};
    }
    /// A process of the same name and owner got the pid since the census: it started at `startTime`
    /// (absent: unreadable).
    void setStartTime(std::int32_t pid, std::optional<std::uint64_t> startTime) {
        processes_[pid].startTime = startTime;
    }
    /// The process exits; pids never reused.
    void exitProcess(std::int32_t pid) { processes_.erase(pid); }
    /// The process exits after its handle was opened and another one takes its pid.
    void recycleAfterOpen(std::int32_t pid, std::string newName) { recycleOnOpen_[pid] = std::move(newName); }
    void failTerminate(std::int32_t pid, int error) { processes_[pid].terminateError = error; }
    const std::vector<std::int32_t>& terminated() const { return terminated_; }

private:
    friend class SimProcessHandle;
    std::map<std::int32_t, Process> processes_;
    std::map<std::int32_t, std::string> recycleOnOpen_;
    std::vector<std::int32_t> terminated_;
};

}  // namespace torvel
