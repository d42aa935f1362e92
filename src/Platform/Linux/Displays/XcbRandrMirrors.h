#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "Platform/DisplayConfiguration.h"

namespace torvel {

/// Which X outputs are online and which show the same picture, decided from what RandR reports.
/// Kept apart from the xcb queries so the rules can be checked without an X server.
struct XcbRandrMirrors {
    /// An output and the CRTC that drives it (0: the output is dark).
    struct Output {
        DisplayID id = 0;
        std::uint32_t crtc = 0;
        /// Driven, but the last probe found it disconnected: a probe has to tell whether it still is.
        bool unconfirmed = false;
    };
    /// A RandR monitor: a rectangle of the screen and the outputs that show it.
    struct Monitor {
        std::vector<DisplayID> outputs;
        std::int32_t x = 0, y = 0;
        std::uint32_t width = 0, height = 0;
    };

    /// Lit outputs in the server's order.
    std::vector<DisplayID> online;
    /// Online outputs sharing a CRTC, or shown by monitors placed at the same origin where one
    /// rectangle contains the other (the same picture, one of them at a smaller mode).
    std::set<DisplayID> mirrored;
    /// The screens a desktop shows on: online outputs counted once per picture, so outputs on one CRTC,
    /// the tiles of one monitor and the outputs of a mirror make one screen each.
    std::size_t screens = 0;

    /// Applies both rules; a monitor without an online output shows nothing and mirrors nothing.
    static XcbRandrMirrors decide(const std::vector<Output>& outputs, const std::vector<Monitor>& monitors);
};

}  // namespace torvel
