#include "Platform/Linux/XcbRandrMirrors.h"

#include <map>
#include <tuple>

namespace torvel {

XcbRandrMirrors XcbRandrMirrors::decide(const std::vector<Output>& outputs,
                                        const std::vector<Monitor>& monitors) {
    XcbRandrMirrors out;
    std::map<std::uint32_t, std::vector<DisplayID>> byCrtc;
    std::set<DisplayID> lit;
    for (const auto& output : outputs) {
        if (output.crtc == 0 || !lit.insert(output.id).second) continue;  // dark, or reported twice
        out.online.push_back(output.id);
        byCrtc[output.crtc].push_back(output.id);
    }
    // Hardware cloning: one CRTC scanning out to several outputs.
    for (const auto& [crtc, ids] : byCrtc) {
        if (ids.size() > 1) out.mirrored.insert(ids.begin(), ids.end());
    }
    // Cloning by layout: separate CRTCs placed on the same rectangle (what "same as" arranges).
    using Rect = std::tuple<std::int32_t, std::int32_t, std::uint32_t, std::uint32_t>;
    std::map<Rect, std::vector<std::vector<DisplayID>>> byRect;
    for (const auto& monitor : monitors) {
        std::vector<DisplayID> shown;
        for (const DisplayID id : monitor.outputs) {
            if (lit.count(id)) shown.push_back(id);
        }
        if (shown.empty() || monitor.width == 0 || monitor.height == 0) continue;
        byRect[{monitor.x, monitor.y, monitor.width, monitor.height}].push_back(std::move(shown));
    }
    for (const auto& [rect, groups] : byRect) {
        if (groups.size() < 2) continue;
        for (const auto& ids : groups) out.mirrored.insert(ids.begin(), ids.end());
    }
    return out;
}

}  // namespace torvel
