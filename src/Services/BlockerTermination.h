#pragma once

#include <cstdint>
#include <vector>

#include "Models/SleepBlocker.h"
#include "Platform/Log.h"
#include "Platform/ProcessControl.h"

namespace torvel {

/// Asks the processes behind `blockers` to quit, so that a following sleep request can land: only this
/// user's processes with a known name, never the session's own machinery, each once, lowest pid first,
/// each re-checked just before the signal (same name, same owner, the very same process still alive).
/// SIGTERM only, never SIGKILL, and no waiting for them to exit. Returns the pids signalled, in order.
std::vector<std::int32_t> terminateBlockers(const std::vector<SleepBlocker>& blockers, ProcessControl& control,
                                            std::uint32_t ownUID, Logger& log);

}  // namespace torvel
