#include "Platform/Linux/Displays/XcbRandrDisplayConfiguration.h"

#include <utility>

namespace torvel {

XcbRandrDisplayConfiguration::XcbRandrDisplayConfiguration(LogSink& log, std::string display)
    : DisplayConfiguration([this](bool following) { setFollowing(following); }),
      randr_(log, "Mirroring", std::move(display), "no display counts as mirrored") {}

XcbRandrDisplayConfiguration::~XcbRandrDisplayConfiguration() = default;

std::vector<DisplayID> XcbRandrDisplayConfiguration::onlineDisplays(std::size_t maxCount) {
    mirrored_.clear();
    const auto reading = randr_.read();
    if (!reading) return {};
    auto decided = XcbRandrMirrors::decide(reading->outputs, reading->monitors);
    mirrored_ = std::move(decided.mirrored);
    if (decided.online.size() > maxCount) decided.online.resize(maxCount);
    return decided.online;
}

bool XcbRandrDisplayConfiguration::isInMirrorSet(DisplayID display) {
    return mirrored_.count(display) > 0;
}

void XcbRandrDisplayConfiguration::setFollowing(bool following) {
    if (following)
        randr_.follow([this] { reconfiguration.emit(0, false); });
    else
        randr_.follow(nullptr);
}

}  // namespace torvel
