#pragma once

#include <string>

struct xcb_connection_t;

namespace torvel {

/// The X server's own blanker and DPMS, suspended through the MIT-SCREEN-SAVER extension: what keeps
/// the screen on in an X session with no desktop screen-saver service (i3, Openbox, a bare X server).
class X11ScreenSaver {
public:
    /// Reaches the X display `display` (as in $DISPLAY) only when first asked to suspend.
    explicit X11ScreenSaver(std::string display);
    /// Lifts the suspension and closes the connection.
    ~X11ScreenSaver();
    X11ScreenSaver(const X11ScreenSaver&) = delete;
    X11ScreenSaver& operator=(const X11ScreenSaver&) = delete;

    /// Suspends the server's screen saver and DPMS. False when the display cannot be reached, lacks the
    /// extension or refuses; nothing is held then.
    bool suspend();
    /// Lifts the suspension; harmless when none is held.
    void resume();
    /// True while the suspension holds: the connection that carries it is still open. The server ends a
    /// suspension when its client goes, so a lost connection is a lost suspension. Never blocks.
    bool holds();

private:
    bool connect();
    void disconnect();

    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    bool suspended_ = false;
};

}  // namespace torvel
