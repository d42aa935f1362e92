#pragma once

#include <set>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Scheduler.h"
#include "Support/Lifetime.h"

namespace torvel {

/// A scriptable display configuration. It starts with one online display (id 1) and no mirror;
/// reconfigurations are announced only when a test emits them, and arrive on the main loop as the
/// real ones do.
class SimDisplayConfiguration : public DisplayConfiguration {
public:
    explicit SimDisplayConfiguration(Scheduler& scheduler) : scheduler_(scheduler) {}

    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override;
    bool isInMirrorSet(DisplayID display) override;

    /// The ids isInMirrorSet() was asked about, in order.
    const std::vector<DisplayID>& mirrorQueries() const { return mirrorQueries_; }
    /// True while someone gets the reconfiguration callbacks.
    bool isNotifying() const { return reconfiguration.isObserved(); }

    /// The online displays, in the order they are listed.
    void setOnlineDisplays(std::vector<DisplayID> displays) { online_ = std::move(displays); }
    /// The displays that are part of a mirror (online or not).
    void setMirrorSet(std::set<DisplayID> displays) { mirrored_ = std::move(displays); }
    /// Mirrors displays 1 and 2 (both online), or shows display 1 alone.
    void setMirroring(bool on);
    bool isMirroringOn() const { return !mirrored_.empty(); }
    /// One reconfiguration callback for `display`, delivered on the main loop.
    void emitReconfiguration(DisplayID display, bool isBeginning);

private:
    Scheduler& scheduler_;
    std::vector<DisplayID> online_{1};
    std::set<DisplayID> mirrored_;
    std::vector<DisplayID> mirrorQueries_;
    // Posted deliveries do nothing once the sim is gone.
    Lifetime lifetime_;
};

}  // namespace torvel
