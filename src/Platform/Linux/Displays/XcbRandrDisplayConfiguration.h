#pragma once

#include <set>
#include <string>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Linux/Displays/XcbRandrConnection.h"
#include "Platform/Log.h"

namespace torvel {

/// Mirroring as the X server sees it through RandR: outputs driven by a CRTC are the online displays,
/// and outputs sharing a CRTC or shown by monitors at one origin, one inside the other, are a mirror
/// (XcbRandrMirrors decides). Reconfigurations arrive as RandR events on the connection's socket;
/// nothing is polled (XcbRandrConnection).
class XcbRandrDisplayConfiguration : public DisplayConfiguration {
public:
    /// Reaches the X display `display` (as in $DISPLAY) when first asked; empty: no display.
    XcbRandrDisplayConfiguration(LogSink& log, std::string display);
    ~XcbRandrDisplayConfiguration() override;

    /// Asks the server afresh; no server, no RandR or a failed reply: an empty list.
    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override;
    /// Answers from what the last onlineDisplays() read.
    bool isInMirrorSet(DisplayID display) override;

private:
    /// Listens to RandR events only while someone listens here; each batch is one finished change.
    void setFollowing(bool following);

    XcbRandrConnection randr_;
    std::set<DisplayID> mirrored_;
};

}  // namespace torvel
