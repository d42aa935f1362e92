// The first-start hint beside the XEmbed icon: placed by the icon on any panel edge, and a window that
// can never take the click meant for the icon.
#include <gtest/gtest.h>

#include "State/AppStateHarness.h"
#include "UI/StateWindowModel.h"
#include "Views/OnboardingPopup.h"

namespace torvel {
namespace {

TEST(OnboardingPopupTest, SitsBesideTheIconOnEveryPanelEdgeAndNeverGrabsThePointer) {
    const QRect screen(0, 0, 800, 600);
    const QSize size(260, 100);
    struct Case {
        QRect icon;
        QPoint topLeft;
    };
    const Case cases[] = {
        {{390, 0, 22, 22}, {270, 26}},     // top panel: below the icon, centred on it
        {{390, 578, 22, 22}, {270, 474}},  // bottom panel: above it
        {{778, 0, 22, 22}, {540, 26}},     // right corner: kept on the screen
        {{0, 578, 22, 22}, {0, 474}},      // left corner at the bottom
    };
    for (const auto& c : cases) {
        const QPoint at = OnboardingPopup::placeBeside(c.icon, size, screen);
        EXPECT_EQ(at, c.topLeft) << c.icon.x() << "," << c.icon.y();
        EXPECT_FALSE(QRect(at, size).intersects(c.icon)) << "the hint covers the icon";
    }

    AppStateHarness h;
    StateWindowModel model(*h.state);
    OnboardingPopup popup(model, h.texts);
    // A popup grabs the pointer: the first click on the icon would only close it.
    EXPECT_NE(popup.windowType(), Qt::Popup);
    EXPECT_TRUE(popup.testAttribute(Qt::WA_ShowWithoutActivating));
}

}  // namespace
}  // namespace torvel
