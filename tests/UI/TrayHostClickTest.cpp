#include "UI/TrayHostClick.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

TEST(TrayHostClickTest, OnlyGnomeShellsHostOpensTheMenuOnAClick) {
    struct Case {
        const char* program;
        bool gnomeSession;
        TrayHostClick click;
    };
    const Case cases[] = {
        {"gnome-shell", true, TrayHostClick::opensMenu},
        {"gnome-shell", false, TrayHostClick::opensMenu},  // whatever the session is called
        {"plasmashell", false, TrayHostClick::toggles},
        {"budgie-panel", true, TrayHostClick::toggles},  // Budgie calls itself GNOME too
        {"xfce4-panel", false, TrayHostClick::toggles},
        {"", true, TrayHostClick::opensMenu},  // unknown program: the session decides
        {"", false, TrayHostClick::toggles},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(statusNotifierHostClick(c.program, c.gnomeSession), c.click)
            << c.program << " " << c.gnomeSession;
    }
    EXPECT_NE(onboardingNoticeKey(TrayHostClick::opensMenu), onboardingNoticeKey(TrayHostClick::toggles));
}

}  // namespace
}  // namespace torvel
