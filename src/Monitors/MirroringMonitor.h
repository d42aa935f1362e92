#pragma once

#include <cstddef>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Tells whether any online display shows the same picture as another: the mirroring trigger.
/// Main loop only.
class MirroringMonitor {
public:
    /// Displays examined per check; any beyond them are not looked at.
    static constexpr std::size_t kMaxDisplays = 16;

    /// Starts not mirroring and follows nothing until startFollowingReconfigurations().
    MirroringMonitor(DisplayConfiguration& displays, Scheduler& scheduler, LogSink& log);
    ~MirroringMonitor();
    MirroringMonitor(const MirroringMonitor&) = delete;
    MirroringMonitor& operator=(const MirroringMonitor&) = delete;

    /// The last result of the mirror check.
    bool isMirroring() const { return isMirroring_; }
    /// Told the new value whenever isMirroring changes, and only then.
    Signal<bool> mirroringChanged;
    /// Looks at the online displays and reports a change.
    void checkMirroring();
    /// Checks again after every finished reconfiguration, on a later turn of the main loop.
    void startFollowingReconfigurations();

private:
    void handleReconfiguration(bool isBeginning);

    DisplayConfiguration& displays_;
    Scheduler& scheduler_;
    Logger log_;
    bool isMirroring_ = false;
    bool isFollowing_ = false;
    Connection reconfiguration_;
    Lifetime lifetime_;
};

}  // namespace torvel
