#include "Platform/Linux/Displays/XcbRandrMirrors.h"

#include <map>

namespace torvel {

namespace {

// The outputs grouped by the picture they show, joined pairwise.
class Pictures {
public:
    void add(DisplayID id) { parent_.emplace(id, id); }
    void join(DisplayID a, DisplayID b) { parent_[find(a)] = find(b); }
    std::size_t count() {
        std::set<DisplayID> roots;
        for (const auto& [id, parent] : parent_) roots.insert(find(id));
        return roots.size();
    }

private:
    DisplayID find(DisplayID id) {
        while (parent_[id] != id) id = parent_[id] = parent_[parent_[id]];
        return id;
    }
    std::map<DisplayID, DisplayID> parent_;
};

}  // namespace

XcbRandrMirrors XcbRandrMirrors::decide(const std::vector<Output>& outputs,
                                        const std::vector<Monitor>& monitors) {
    XcbRandrMirrors out;
    std::map<std::uint32_t, std::vector<DisplayID>> byCrtc;
    std::set<DisplayID> lit;
    Pictures pictures;
    for (const auto& output : outputs) {
        if (output.crtc == 0 || !lit.insert(output.id).second) continue;  // dark, or reported twice
        out.online.push_back(output.id);
        byCrtc[output.crtc].push_back(output.id);
        pictures.add(output.id);
    }
    // Hardware cloning: one CRTC scanning out to several outputs.
    for (const auto& [crtc, ids] : byCrtc) {
        if (ids.size() > 1) out.mirrored.insert(ids.begin(), ids.end());
        for (const DisplayID id : ids) pictures.join(id, ids.front());
    }
    // Cloning by layout: separate CRTCs placed at one origin (what "same as" arranges), the smaller
    // picture inside the larger when the modes differ.
    struct Shown {
        std::vector<DisplayID> ids;
        const Monitor* monitor;
    };
    std::vector<Shown> shown;
    for (const auto& monitor : monitors) {
        Shown entry{{}, &monitor};
        for (const DisplayID id : monitor.outputs) {
            if (lit.count(id)) entry.ids.push_back(id);
        }
        if (entry.ids.empty() || monitor.width == 0 || monitor.height == 0) continue;
        // The tiles of one monitor are one screen, though no mirror.
        for (const DisplayID id : entry.ids) pictures.join(id, entry.ids.front());
        shown.push_back(std::move(entry));
    }
    const auto within = [](const Monitor& inner, const Monitor& outer) {
        return inner.width <= outer.width && inner.height <= outer.height;
    };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            const Monitor& a = *shown[i].monitor;
            const Monitor& b = *shown[j].monitor;
            if (a.x != b.x || a.y != b.y || !(within(a, b) || within(b, a))) continue;
            out.mirrored.insert(shown[i].ids.begin(), shown[i].ids.end());
            out.mirrored.insert(shown[j].ids.begin(), shown[j].ids.end());
            pictures.join(shown[i].ids.front(), shown[j].ids.front());
        }
    }
    out.screens = pictures.count();
    return out;
}

}  // namespace torvel
