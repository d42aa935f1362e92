#include "Monitors/MirroringMonitor.h"

#include <algorithm>

namespace torvel {

MirroringMonitor::MirroringMonitor(DisplayConfiguration& displays, Scheduler& scheduler, LogSink& log)
    : displays_(displays), scheduler_(scheduler), log_(log, "Mirroring") {}

MirroringMonitor::~MirroringMonitor() = default;

void MirroringMonitor::checkMirroring() {
    auto online = displays_.onlineDisplays(kMaxDisplays);
    // An adapter that hands back more than asked for still gets only the first ones examined.
    if (online.size() > kMaxDisplays) online.resize(kMaxDisplays);
    const bool value = std::any_of(online.begin(), online.end(),
                                   [this](DisplayID id) { return displays_.isInMirrorSet(id); });
    if (value == isMirroring_) return;
    isMirroring_ = value;
    log_.info("Mirroring {}", value ? "on" : "off");
    mirroringChanged.emit(value);
}

void MirroringMonitor::startFollowingReconfigurations() {
    isFollowing_ = true;
    reconfiguration_ = displays_.reconfiguration.connect(
        [this](DisplayID, bool isBeginning) { handleReconfiguration(isBeginning); });
}

void MirroringMonitor::handleReconfiguration(bool isBeginning) {
    // Midway through a reconfiguration the mirror sets are not settled yet; the finishing call follows.
    if (isBeginning) return;
    // Every finished display gets its own check; the change test makes the repeats harmless.
    scheduler_.post(lifetime_.guard([this] { checkMirroring(); }));
}

}  // namespace torvel
