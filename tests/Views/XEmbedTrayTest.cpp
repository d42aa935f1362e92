// The classic tray icon's menu, drawn from a hand-made model offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <vector>

#include "Views/XEmbedTray.h"

namespace torvel {
namespace {

MenuItem item(MenuItemStyle style, const std::string& title, MenuAction action = MenuAction::none) {
    MenuItem out;
    out.style = style;
    out.title = title;
    out.action = action;
    return out;
}

TEST(XEmbedTrayTest, MenuFollowsTheModelAndOnlyActionableItemsAct) {
    MenuModel model;
    auto blockers = item(MenuItemStyle::info, "make ×3");
    blockers.tooltip = "PID 1 — <b>build</b>\nPID 2";
    model.items.push_back(blockers);
    model.items.push_back(item(MenuItemStyle::separator, ""));
    auto profile = item(MenuItemStyle::normal, "Presentation", MenuAction::profile);
    profile.checkable = profile.checked = true;
    model.items.push_back(profile);
    auto sleepFor = item(MenuItemStyle::normal, "Tom & Jerry");
    auto hour = item(MenuItemStyle::normal, "1 hour", MenuAction::duration);
    hour.object = Duration::custom(3600);
    sleepFor.submenu.push_back(hour);
    model.items.push_back(sleepFor);
    model.items.push_back(item(MenuItemStyle::normal, "Q&A", MenuAction::quit));

    std::vector<MenuItem> performed;
    QMenu menu;
    XEmbedTray::fill(menu, model.items, [&](const MenuItem& chosen) { performed.push_back(chosen); });
    const auto actions = menu.actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_FALSE(actions[0]->isEnabled()) << "an info line is a read-out";
    // Names from outside show as they are: no markup in tooltips, no '&' taken as a mnemonic.
    EXPECT_TRUE(actions[0]->toolTip().contains("&lt;b&gt;build")) << actions[0]->toolTip().toStdString();
    EXPECT_FALSE(actions[0]->toolTip().contains("<b>"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_TRUE(actions[2]->isCheckable());
    EXPECT_TRUE(actions[2]->isChecked());
    ASSERT_NE(actions[3]->menu(), nullptr);
    EXPECT_EQ(actions[3]->text(), "Tom && Jerry");
    EXPECT_EQ(actions[4]->text(), "Q&&A");
    EXPECT_EQ(actions[4]->iconText(), "Q&A") << "drawn with its ampersand";

    actions[0]->trigger();
    actions[3]->menu()->actions().at(0)->trigger();
    actions[4]->trigger();
    ASSERT_EQ(performed.size(), 2u);
    EXPECT_EQ(performed[0].action, MenuAction::duration);
    EXPECT_EQ(std::get<Duration>(performed[0].object), Duration::custom(3600));
    EXPECT_EQ(performed[1].action, MenuAction::quit);
}

}  // namespace
}  // namespace torvel
