#include "UI/MenuIcons.h"

#include <array>
#include <utility>

namespace torvel {

namespace {

// The menu names its pictures by symbol; the panels draw icons from the user's icon theme. Symbolic
// names from the freedesktop naming spec and Adwaita, which every common theme provides or inherits,
// and Torvel's own two cups (installed in hicolor).
constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kIcons = {{
    {"cup.and.saucer.fill", "torvel-active-symbolic"},
    {"cup.and.saucer", "torvel-inactive-symbolic"},
    {"hand.tap", "input-touchpad-symbolic"},
    {"timer", "alarm-symbolic"},
    {"star.fill", "starred-symbolic"},
    {"display", "video-display-symbolic"},
    {"rectangle.on.rectangle", "video-joined-displays-symbolic"},
    {"wifi", "network-wireless-symbolic"},
    {"terminal", "utilities-terminal-symbolic"},
    {"battery.100", "battery-full-symbolic"},
    {"exclamationmark.triangle", "dialog-warning-symbolic"},
    {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
    {"bolt.slash", "system-suspend-symbolic"},
}};

}  // namespace

std::string_view menuIconName(std::string_view symbol) {
    for (const auto& [name, icon] : kIcons) {
        if (name == symbol) return icon;
    }
    return {};
}

}  // namespace torvel
