#pragma once

#include <string>

namespace torvel {

/// The session's displays, as $DISPLAY and $WAYLAND_DISPLAY name them; empty when absent.
struct SessionDisplays {
    std::string x11, wayland;
    /// Read from this process's environment.
    static SessionDisplays fromEnvironment();
};

/// How the screen is kept from blanking, from the best a session offers to nothing at all.
enum class ScreenWay {
    gnomeInhibit,        ///< GNOME session manager Inhibit, flag 8 (its idle timers: dim, blank, suspend)
    screenSaverInhibit,  ///< org.freedesktop.ScreenSaver Inhibit (KDE, Xfce and others)
    simulatedActivity,   ///< SimulateUserActivity, where the screen saver refuses Inhibit
    x11Suspend,          ///< the X server's own blanker and DPMS suspended (MIT-SCREEN-SAVER)
    nothingToDo,         ///< no display at all: nothing blanks, which is success
    none,                ///< a display, but nothing here keeps it on
};

/// The way for a session with these services and displays (Inhibit before the screen saver refused it).
ScreenWay screenWayFor(bool gnomeSession, bool screenSaver, const SessionDisplays& displays);
/// One line for people, as `torvel --doctor` shows it.
const char* describe(ScreenWay way);

}  // namespace torvel
