// The RandR adapter against a real X server (Xvfb): what it reads, and that it hears changes.
#include <gtest/gtest.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <QFile>
#include <QProcess>
#include <cstdlib>
#include <string>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/XcbRandrDisplayConfiguration.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

TEST(XcbRandrDisplayConfigurationTest, PlainServerHasOneOutputNotMirroredAndTellsOfChanges) {
    if (!QFile::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    QProcess xvfb;
    xvfb.start("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    ASSERT_TRUE(xvfb.waitForStarted(5000) && xvfb.waitForReadyRead(10000));
    const std::string display = ":" + QString::fromUtf8(xvfb.readLine()).trimmed().toStdString();

    CapturingLogSink log;
    XcbRandrDisplayConfiguration displays(log, display);
    const auto online = displays.onlineDisplays(16);
    ASSERT_EQ(online.size(), 1u);
    EXPECT_FALSE(displays.isInMirrorSet(online[0]));
    EXPECT_TRUE(displays.onlineDisplays(0).empty());  // the caller's limit holds

    int done = 0;
    int beginnings = 0;
    displays.setOnReconfiguration([&](DisplayID, bool isBeginning) { ++(isBeginning ? beginnings : done); });
    // Another client gives the output new modes: the server tells us, with no polling on our side.
    xcb_connection_t* probe = xcb_connect(display.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(probe), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(probe)).data->root;
    const auto addMode = [&](std::uint16_t width, std::uint16_t height, const std::string& name) {
        xcb_randr_mode_info_t info{};
        info.width = width;
        info.height = height;
        info.htotal = width;
        info.vtotal = height;
        info.name_len = static_cast<std::uint16_t>(name.size());
        auto* created = xcb_randr_create_mode_reply(
            probe, xcb_randr_create_mode(probe, root, info, info.name_len, name.c_str()), nullptr);
        if (!created) return false;
        xcb_generic_error_t* error =
            xcb_request_check(probe, xcb_randr_add_output_mode_checked(probe, online[0], created->mode));
        const bool ok = error == nullptr;
        std::free(created);
        std::free(error);
        return ok;
    };
    ASSERT_TRUE(addMode(640, 480, "small"));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return done > 0; }));
    EXPECT_EQ(beginnings, 0);

    // Switched off, nothing more is heard.
    displays.setOnReconfiguration(nullptr);
    const int before = done;
    ASSERT_TRUE(addMode(320, 240, "smaller"));
    EXPECT_FALSE(PrivateBuses::waitFor([&] { return done > before; }, 200));
    xcb_disconnect(probe);

    // Listening again, then the server goes: said once, and the displays are gone.
    displays.setOnReconfiguration([&](DisplayID, bool) { ++done; });
    xvfb.terminate();
    ASSERT_TRUE(xvfb.waitForFinished(5000));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return done > before; }));
    EXPECT_TRUE(displays.onlineDisplays(16).empty());
    EXPECT_EQ(log.messages("Mirroring").size(), 1u);

    XcbRandrDisplayConfiguration nowhere(log, "");
    EXPECT_TRUE(nowhere.onlineDisplays(16).empty());
}

}  // namespace
}  // namespace torvel
