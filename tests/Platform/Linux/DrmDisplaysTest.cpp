#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Platform/Linux/DrmDisplayConfiguration.h"
#include "Platform/Linux/DrmScreens.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

struct DrmDisplaysTest : ::testing::Test {
    fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "torvel-drm-XXXXXX").string();
        return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }();
    CapturingLogSink log;

    ~DrmDisplaysTest() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    void put(const std::string& connector, const std::string& status) {
        fs::create_directories(root / connector);
        std::ofstream(root / connector / "status") << status;
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

    DrmScreens missing(log, root / "gone");
    EXPECT_EQ(missing.screenCount(), 0);
    EXPECT_EQ(missing.screenCount(), 0);
    EXPECT_EQ(log.messages("Displays").size(), 1u);  // said once, not on every change
}

TEST_F(DrmDisplaysTest, ConnectorsOnOneLitCrtcOfOneCardAreAMirror) {
    using Route = DrmDisplayConfiguration::Route;
    constexpr DisplayID card1 = 1u << 24;
    // eDP and HDMI cloned on CRTC 40; DP alone on 41; two dark connectors; card 1 reuses CRTC 40.
    const auto mirrored = DrmDisplayConfiguration::mirrored(
        {Route{10, 40}, Route{11, 40}, Route{12, 41}, Route{13, 0}, Route{14, 0}, Route{card1 | 10, 40}});
    EXPECT_EQ(mirrored, (std::set<DisplayID>{10, 11}));

    DrmDisplayConfiguration noCards(log, root);  // no device nodes to open (a container)
    EXPECT_TRUE(noCards.onlineDisplays(16).empty());
    EXPECT_FALSE(noCards.isInMirrorSet(10));
}

}  // namespace
}  // namespace torvel
