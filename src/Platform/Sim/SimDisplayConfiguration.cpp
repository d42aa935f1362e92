#include "Platform/Sim/SimDisplayConfiguration.h"

namespace torvel {

std::vector<DisplayID> SimDisplayConfiguration::onlineDisplays(std::size_t maxCount) {
    if (online_.size() <= maxCount) return online_;
    return {online_.begin(), online_.begin() + static_cast<std::ptrdiff_t>(maxCount)};
}

bool SimDisplayConfiguration::isInMirrorSet(DisplayID display) {
    mirrorQueries_.push_back(display);
    return mirrored_.count(display) > 0;
}

void SimDisplayConfiguration::setMirroring(bool on) {
    online_ = on ? std::vector<DisplayID>{1, 2} : std::vector<DisplayID>{1};
    mirrored_ = on ? std::set<DisplayID>{1, 2} : std::set<DisplayID>{};
}

void SimDisplayConfiguration::emitReconfiguration(DisplayID display, bool isBeginning) {
    scheduler_.post(
        lifetime_.guard([this, display, isBeginning] { reconfiguration.emit(display, isBeginning); }));
}

}  // namespace torvel
