#pragma once

#include <string>
#include <variant>
#include <vector>

#include "Models/Duration.h"
#include "Models/RunningAppInfo.h"
#include "Models/Uuid.h"

namespace torvel {

/// What choosing a menu item does. The menu builder routes it to the application state; the panel
/// exporters only hand the chosen item back.
enum class MenuAction {
    none,
    silenceAlarm,
    deactivate,
    extend15,
    extend60,
    pauseOneHour,
    pauseUntilMorning,
    pauseIndefinitely,
    resumeAutomation,
    emergencyConsent,
    sleepNow,
    duration,
    customDuration,
    keepAwakeUntilQuit,
    profile,
    settings,
    about,
    quit,
};

/// How an item is drawn. Panel menus have no fonts or indentation: info lines and section headers are
/// both shown as disabled items; a separator carries nothing else.
enum class MenuItemStyle { normal, info, header, separator };

/// The object an item acts on: a duration, a profile (by id) or a running application.
using MenuItemObject = std::variant<std::monostate, Duration, Uuid, RunningAppInfo>;

/// One entry of the status item's menu, independent of any toolkit.
struct MenuItem {
    MenuItemStyle style = MenuItemStyle::normal;
    std::string title;
    /// A freedesktop icon name; empty for none.
    std::string iconName;
    /// Shown where the toolkit can (the XEmbed menu); panel menus cannot show tooltips.
    std::string tooltip;
    bool enabled = true;
    /// Drawn with a check mark; `checked` is its state.
    bool checkable = false;
    bool checked = false;
    MenuAction action = MenuAction::none;
    MenuItemObject object;
    /// Non-empty makes this item a submenu.
    std::vector<MenuItem> submenu;
};

/// The whole menu as it is built when opened. Nothing in it is kept between openings.
struct MenuModel {
    std::vector<MenuItem> items;
};

}  // namespace torvel
