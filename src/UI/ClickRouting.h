#pragma once

namespace torvel {

/// Which way the user clicked the status item. Panels name them by role: the primary activation (a
/// left click), the secondary one (a middle click) and the context menu (a right click).
enum class StatusItemClick { primary, middle, context };

/// What a click on the status item does.
enum class StatusItemClickResult { toggle, openMenu };

/// A left or middle click toggles keeping awake; a right click, or any click with Ctrl held, opens the
/// menu. Nothing is remembered: once the menu closes, the next left click toggles again.
StatusItemClickResult routeStatusItemClick(StatusItemClick click, bool controlHeld);

}  // namespace torvel
