#pragma once

#include <filesystem>

#include "Platform/ProcessControl.h"

namespace torvel {

/// Signals processes through pidfds: the descriptor names one process for good, so a pid that was
/// recycled between the census and the signal reaches nobody. Names and owners come from /proc.
/// Without pidfd support (kernels before 5.3) nothing is signalled: open() fails with ENOSYS.
class PidfdProcessControl : public ProcessControl {
public:
    explicit PidfdProcessControl(std::filesystem::path procRoot = "/proc") : procRoot_(std::move(procRoot)) {}
    std::unique_ptr<ProcessHandle> open(std::int32_t pid, int* error) override;

private:
    std::filesystem::path procRoot_;
};

}  // namespace torvel
