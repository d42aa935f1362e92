#pragma once

#include <QIcon>
#include <QString>

namespace torvel {

/// The desktop file id the windows carry (the Wayland app id) and the name of the window class.
inline constexpr char kDesktopFileName[] = "com.torvel.Torvel";
inline constexpr char kWindowClass[] = "Torvel";

/// Gives the application the desktop entry's identity before any window is made: the desktop file id
/// (the Wayland app id), the X11 window class "torvel", "Torvel" (StartupWMClass), Torvel's icon on
/// every window and `version` for the about window. Needs the QApplication.
void setUpApplicationIdentity(const QString& version);

/// Torvel's icon: "torvel" from the icon theme (installed, or replaced by the user's theme), else the
/// copy built into the program, so a run from the build tree has it too.
QIcon torvelIcon();

}  // namespace torvel
