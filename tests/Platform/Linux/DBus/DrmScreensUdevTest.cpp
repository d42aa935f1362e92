// Connector hot-plugs delivered as udev events by umockdev's test bed. Runs only under
// umockdev-wrapper (the DrmScreensUnderUmockdev test does that), and skips itself otherwise.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdlib>
#include <cstring>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Displays/DrmDisplayConfiguration.h"
#include "Platform/Linux/Displays/DrmScreens.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

TEST(DrmScreensUdev, FollowsConnectorHotPlugsWithoutPolling) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) GTEST_SKIP() << "needs umockdev-wrapper";
    UMockdevTestbed* bed = umockdev_testbed_new();
    gchar* card = umockdev_testbed_add_device(bed, "drm", "card0", nullptr, nullptr, nullptr);
    gchar* panel = umockdev_testbed_add_device(bed, "drm", "card0-eDP-1", card, "status", "connected\n",
                                               "enabled", "enabled\n", nullptr, nullptr);
    gchar* hdmi = umockdev_testbed_add_device(bed, "drm", "card0-HDMI-A-1", card, "status", "disconnected\n",
                                              "enabled", "disabled\n", nullptr, nullptr);
    CapturingLogSink log;
    {
        DrmScreens screens(log);
        DrmDisplayConfiguration displays(log);
        int changes = 0;
        int reconfigurations = 0;
        Connection screensChanged = screens.changed.connect([&] { ++changes; });
        const Connection reconfigured = displays.reconfiguration.connect([&](DisplayID, bool isBeginning) {
            if (!isBeginning) ++reconfigurations;
        });
        EXPECT_EQ(screens.screenCount(), 1);

        umockdev_testbed_set_attribute(bed, hdmi, "status", "connected\n");
        umockdev_testbed_set_attribute(bed, hdmi, "enabled", "enabled\n");
        umockdev_testbed_uevent(bed, hdmi, "change");
        ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes > 0 && reconfigurations > 0; }));
        EXPECT_EQ(screens.screenCount(), 2);

        // Switched off, nothing is listened to any more.
        screensChanged.reset();
        umockdev_testbed_set_attribute(bed, hdmi, "status", "disconnected\n");
        umockdev_testbed_uevent(bed, hdmi, "change");
        const int before = changes;
        ASSERT_TRUE(PrivateBuses::waitFor([&] { return reconfigurations > 1; }));
        EXPECT_EQ(changes, before);
        EXPECT_EQ(screens.screenCount(), 1);
        EXPECT_TRUE(log.messages("Displays").empty());
    }
    g_free(hdmi);
    g_free(panel);
    g_free(card);
    g_object_unref(bed);
}

}  // namespace
}  // namespace torvel
