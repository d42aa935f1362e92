#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/Workspace.h"

namespace torvel {

/// How often a process is asked whether it still lives where no pidfd can be had (kernels before 5.3).
inline constexpr double kProcessExitPollSeconds = 1.0;

/// Calls `onExit` once on the main loop when process `pid` ends: told by a pidfd where the kernel has
/// them and `usePidfd` allows, else asked every kProcessExitPollSeconds. Nothing (nullptr) when there is no
/// such process or `onExit` is empty.
std::unique_ptr<ProcessWatch> watchProcessExit(Scheduler& scheduler, Logger& log, std::int32_t pid,
                                               std::function<void()> onExit, bool usePidfd = true);

}  // namespace torvel
