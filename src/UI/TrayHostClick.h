#pragma once

#include <string_view>

namespace torvel {

/// What a plain left click on Torvel's icon does with the tray host in use.
enum class TrayHostClick {
    /// The host activates the item: the click keeps the computer awake or lets it sleep (KDE Plasma,
    /// Xfce, LXQt, Cinnamon, MATE, an XEmbed tray).
    toggles,
    /// The host opens the item's menu and activates it on a double or middle click (GNOME Shell's
    /// AppIndicator extension).
    opensMenu,
};

/// The click of the StatusNotifier host whose watcher runs in the program `watcherProgram` (its process
/// name, "gnome-shell", "plasmashell"; empty when it could not be told), with `gnomeSession` whether the
/// session says it is GNOME, which stands in for an unknown program.
TrayHostClick statusNotifierHostClick(std::string_view watcherProgram, bool gnomeSession);

/// The text key of the first-start notice for a host whose left click does `click`.
std::string_view onboardingNoticeKey(TrayHostClick click);

}  // namespace torvel
