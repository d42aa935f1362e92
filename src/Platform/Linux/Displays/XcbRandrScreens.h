#pragma once

#include <string>

#include "Platform/Linux/Displays/XcbRandrConnection.h"
#include "Platform/Log.h"
#include "Platform/Screens.h"

namespace torvel {

/// The screens of an X display through RandR, for when Torvel runs on X11: one per picture shown, so
/// a mirror or a monitor made of tiles counts once (XcbRandrMirrors). RandR's events on the
/// connection's socket tell of changes, one `changed` per burst; nothing is polled.
class XcbRandrScreens : public Screens {
public:
    /// Reaches the X display `display` (as in $DISPLAY) when first asked; empty: no display.
    XcbRandrScreens(LogSink& log, std::string display);
    ~XcbRandrScreens() override;

    /// Asks the server afresh; no server, no RandR or a failed reply: 0.
    int screenCount() override;

private:
    /// Listens to RandR events only while someone listens here.
    void setFollowing(bool following);

    XcbRandrConnection randr_;
};

}  // namespace torvel
