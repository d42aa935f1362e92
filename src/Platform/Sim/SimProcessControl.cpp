#include "Platform/Sim/SimProcessControl.h"

#include <cerrno>

namespace torvel {

class SimProcessHandle : public ProcessHandle {
public:
    SimProcessHandle(SimProcessControl& control, std::int32_t pid, bool recycled)
        : control_(control), pid_(pid), recycled_(recycled) {}

    std::string processName() override { return current() ? current()->name : std::string(); }
    std::optional<ProcessInfo::Identity> identity() override {
        if (!current()) return std::nullopt;
        return ProcessInfo::Identity{current()->uid, current()->name.substr(0, 15), current()->startTime};
    }
    bool isAlive() override { return !recycled_ && current(); }
    int terminate() override {
        if (!isAlive()) return ESRCH;
        if (current()->terminateError != 0) return current()->terminateError;
        control_.terminated_.push_back(pid_);
        return 0;
    }

private:
    // What /proc shows for the pid now: after a recycle, the newer process.
    const SimProcessControl::Process* current() const {
        const auto it = control_.processes_.find(pid_);
        return it == control_.processes_.end() ? nullptr : &it->second;
    }

    SimProcessControl& control_;
    std::int32_t pid_;
    bool recycled_;
};

std::unique_ptr<ProcessHandle> SimProcessControl::open(std::int32_t pid, int* error) {
    if (processes_.count(pid) == 0) {
        if (error) *error = ESRCH;
        return nullptr;
    }
    bool recycled = false;
    if (const auto it = recycleOnOpen_.find(pid); it != recycleOnOpen_.end()) {
        processes_[pid] = Process{it->second, processes_[pid].uid, true, 0, processes_[pid].startTime};
        recycleOnOpen_.erase(it);
        recycled = true;
    }
    return std::make_unique<SimProcessHandle>(*this, pid, recycled);
}

}  // namespace torvel
