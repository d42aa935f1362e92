#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Platform/Linux/Displays/DrmDisplayConfiguration.h"
#include "Platform/Linux/Displays/DrmScreens.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

struct DrmDisplaysTest : ::testing::Test {
    test::TemporaryFolder folder{"torvel-drm"};
    fs::path root = folder.path();
    CapturingLogSink log;

    void put(const std::string& connector, const std::string& status,
             const std::string& enabled = "enabled\n") {
        test::writeFile(root / connector / "status", status);
        test::writeFile(root / connector / "enabled", enabled);
    }
};

TEST_F(DrmDisplaysTest, CountsConnectedConnectorsOfEveryCardOnly) {
    ASSERT_FALSE(root.empty());
    DrmScreens screens(log, root);
    EXPECT_EQ(screens.screenCount(), 0);  // a server without any output

    put("card0-eDP-1", "connected\n");
    put("card0-HDMI-A-1", "disconnected\n");
    put("card0-Writeback-1", "unknown\n");
    put("card0", "connected\n");           // the card itself is no screen
    put("renderD128", "connected\n");      // nor is a render node
    put("card0-DP-2", "connected-ish\n");  // only the exact word counts
    EXPECT_EQ(screens.screenCount(), 1);

    put("card1-DP-1", "connected");  // a second card, and no line end
    put("card0-HDMI-A-1", "connected\n");
    EXPECT_EQ(screens.screenCount(), 3);

    // The lid closes: the panel stays connected, but the desktop has switched it off.
    put("card0-eDP-1", "connected\n", "disabled\n");
    EXPECT_EQ(screens.screenCount(), 2);
    put("card1-DP-1", "connected", "enabled-ish\n");
    fs::remove(root / "card0-HDMI-A-1" / "enabled");  // unreadable counts as off
    EXPECT_EQ(screens.screenCount(), 0);

    DrmScreens missing(log, root / "gone");
    EXPECT_EQ(missing.screenCount(), 0);
    EXPECT_EQ(missing.screenCount(), 0);
    EXPECT_EQ(log.messages("Displays").size(), 1u);  // said once, not on every change
}

TEST_F(DrmDisplaysTest, ConnectorsOnOneLitCrtcOfOneCardAreAMirror) {
    using Route = DrmDisplayConfiguration::Route;
    constexpr DisplayID card1 = 1u << 24;
    // eDP and HDMI cloned on CRTC 40; DP alone on 41; two dark connectors; card 1 reuses CRTC 40.
    const auto mirrored =
        DrmDisplayConfiguration::mirrored({Route{10, 40, "a"}, Route{11, 40, "b"}, Route{12, 41, "c"},
                                           Route{13, 0, "d"}, Route{14, 0, "e"}, Route{card1 | 10, 40, "f"}});
    EXPECT_EQ(mirrored, (std::set<DisplayID>{10, 11}));

    // Only connectors that sysfs shows connected and enabled are online: a panel off under the closed
    // lid is neither online nor part of a mirror.
    put("card0-eDP-1", "connected\n", "disabled\n");
    put("card0-HDMI-A-1", "connected\n");
    put("card0-DP-1", "connected\n");
    const auto lit = DrmDisplayConfiguration::lit(
        {Route{10, 40, "card0-eDP-1"}, Route{11, 40, "card0-HDMI-A-1"}, Route{12, 41, "card0-DP-1"},
         Route{13, 0, "card0-DP-9"}, Route{14, 42, ""}, Route{15, 42, "../card0-DP-1"}},
        root);
    ASSERT_EQ(lit.size(), 2u);
    EXPECT_EQ(lit[0].display, 11u);
    EXPECT_EQ(lit[1].display, 12u);
    EXPECT_TRUE(DrmDisplayConfiguration::mirrored(lit).empty());

    DrmDisplayConfiguration noCards(log, root);  // no device nodes to open (a container)
    EXPECT_TRUE(noCards.onlineDisplays(16).empty());
    EXPECT_FALSE(noCards.isInMirrorSet(10));
}

}  // namespace
}  // namespace torvel
