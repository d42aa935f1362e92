#include <gtest/gtest.h>

#include "Platform/Linux/Displays/XcbRandrMirrors.h"

namespace torvel {
namespace {

using Output = XcbRandrMirrors::Output;
using Monitor = XcbRandrMirrors::Monitor;

TEST(XcbRandrMirrorsTest, SharedCrtcsAndNestedRectanglesAtOneOriginAreMirrorsNothingElse) {
    struct Case {
        const char* name;
        std::vector<Output> outputs;
        std::vector<Monitor> monitors;
        std::vector<DisplayID> online;
        std::set<DisplayID> mirrored;
        std::size_t screens;
    };
    const std::vector<Case> cases = {
        {"nothing reported", {}, {}, {}, {}, 0},
        {"one panel", {{1, 10}}, {{{1}, 0, 0, 1920, 1080}}, {1}, {}, 1},
        {"dark outputs are not online", {{1, 10}, {2, 0}, {3, 0}}, {{{1}, 0, 0, 800, 600}}, {1}, {}, 1},
        {"side by side",
         {{1, 10}, {2, 11}},
         {{{1}, 0, 0, 1920, 1080}, {{2}, 1920, 0, 1920, 1080}},
         {1, 2},
         {},
         2},
        {"two outputs on one CRTC", {{1, 10}, {2, 10}, {3, 11}}, {}, {1, 2, 3}, {1, 2}, 2},
        {"two CRTCs on the same rectangle",
         {{1, 10}, {2, 11}, {3, 12}},
         {{{1}, 0, 0, 1920, 1080}, {{2}, 0, 0, 1920, 1080}, {{3}, 1920, 0, 1920, 1080}},
         {1, 2, 3},
         {1, 2},
         2},
        // "Same as" at a smaller mode: the smaller picture is the top left of the larger one.
        {"a smaller mode at the same origin",
         {{1, 10}, {2, 11}, {3, 12}},
         {{{1}, 0, 0, 1600, 1200}, {{2}, 0, 0, 1280, 800}, {{3}, 1600, 0, 1280, 800}},
         {1, 2, 3},
         {1, 2},
         2},
        {"same origin, neither inside the other",
         {{1, 10}, {2, 11}},
         {{{1}, 0, 0, 1920, 1080}, {{2}, 0, 0, 1080, 1920}},
         {1, 2},
         {},
         2},
        {"inside, but not at the same origin",
         {{1, 10}, {2, 11}},
         {{{1}, 0, 0, 1920, 1080}, {{2}, 100, 100, 800, 600}},
         {1, 2},
         {},
         2},
        // A monitor spanning two tiles is one picture split in two, not the same picture twice.
        {"one monitor over two CRTCs", {{1, 10}, {2, 11}}, {{{1, 2}, 0, 0, 3840, 1080}}, {1, 2}, {}, 1},
        {"a monitor of dark or unknown outputs mirrors nothing",
         {{1, 10}, {2, 0}},
         {{{1}, 0, 0, 800, 600}, {{2}, 0, 0, 800, 600}, {{}, 0, 0, 800, 600}, {{99}, 0, 0, 800, 600}},
         {1},
         {},
         1},
        {"an empty rectangle is no picture",
         {{1, 10}, {2, 11}},
         {{{1}, 0, 0, 0, 0}, {{2}, 0, 0, 0, 0}},
         {1, 2},
         {},
         2},
        {"an output reported twice counts once", {{1, 10}, {1, 10}}, {}, {1}, {}, 1},
    };
    for (const auto& c : cases) {
        const auto decided = XcbRandrMirrors::decide(c.outputs, c.monitors);
        EXPECT_EQ(decided.online, c.online) << c.name;
        EXPECT_EQ(decided.mirrored, c.mirrored) << c.name;
        EXPECT_EQ(decided.screens, c.screens) << c.name;
    }
}

}  // namespace
}  // namespace torvel
