#include "Platform/Linux/Displays/XcbRandrScreens.h"

#include <utility>

namespace torvel {

XcbRandrScreens::XcbRandrScreens(LogSink& log, std::string display)
    : Screens([this](bool following) { setFollowing(following); }),
      randr_(log, "Displays", std::move(display), "counting no screens") {}

XcbRandrScreens::~XcbRandrScreens() = default;

int XcbRandrScreens::screenCount() {
    const auto reading = randr_.read();
    if (!reading) return 0;
    return static_cast<int>(XcbRandrMirrors::decide(reading->outputs, reading->monitors).screens);
}

void XcbRandrScreens::setFollowing(bool following) {
    if (following)
        randr_.follow([this] { changed.emit(); });
    else
        randr_.follow(nullptr);
}

}  // namespace torvel
