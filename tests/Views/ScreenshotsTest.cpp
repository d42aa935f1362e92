// torvel --screenshot: every window is drawn to a PNG file that reads back as a picture.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include "State/AppStateHarness.h"
#include "Views/Screenshots.h"

namespace torvel {
namespace {

TEST(Screenshots, DrawsEveryWindowAndTheMenuToReadablePictures) {
    AppStateHarness h;
    addScreenshotExamples(*h.state);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("new");
    MenuModel menu;
    MenuItem item;
    item.title = "Keep awake";
    MenuItem separator;
    separator.style = MenuItemStyle::separator;
    MenuItem submenu;
    submenu.title = "For";
    submenu.submenu = {item};
    menu.items = {item, separator, submenu};
    ASSERT_EQ(runScreenshots({*h.state, h.texts, h.calendar_, h.clock, folder, [menu] { return menu; }}), 0);
    for (const char* name : {"settings-general", "settings-activation", "settings-battery", "settings-audio",
                             "settings-profiles", "profile-editor", "network-sheet", "custom-duration",
                             "about", "onboarding", "menu"}) {
        const QImage image(QDir(folder).filePath(QString::fromLatin1(name) + ".png"));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_GT(image.width(), 100) << name;
    }
    EXPECT_FALSE(h.state->settings().hasSeenOnboarding) << "drawing the hint does not dismiss it";

    QTemporaryFile blocker;  // a file where the folder should be
    ASSERT_TRUE(blocker.open());
    EXPECT_EQ(runScreenshots({*h.state, h.texts, h.calendar_, h.clock, blocker.fileName(), {}}), 1);
    // Only the last folder is made: a mistyped path leaves nothing behind.
    EXPECT_EQ(runScreenshots({*h.state, h.texts, h.calendar_, h.clock, dir.filePath("missing/deep"), {}}), 1);
    EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
}

}  // namespace
}  // namespace torvel
