#pragma once

#include <cstdint>
#include <vector>

#include "Models/SleepBlocker.h"
#include "Platform/Log.h"
#include "Platform/ProcessControl.h"

namespace torvel {

/// Asks the processes behind `blockers` to quit, so that a following sleep request can land: only this
/// user's processes with a known name, never the session's own machinery nor a service locking on the
/// session's behalf, each once, lowest pid first, each re-checked on the pinned process just before the
/// signal (same name, same owner, same start time, still alive). SIGTERM only, never SIGKILL, and no
/// waiting for them to exit. Run as root (`ownUID` 0) it signals nothing. Returns the pids signalled.
std::vector<std::int32_t> terminateBlockers(const std::vector<SleepBlocker>& blockers, ProcessControl& control,
                                            std::uint32_t ownUID, Logger& log);

}  // namespace torvel
