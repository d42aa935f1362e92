#include "Platform/Linux/Power/ScreenWay.h"

#include <cstdlib>

namespace torvel {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

SessionDisplays SessionDisplays::fromEnvironment() {
    return SessionDisplays{environment("DISPLAY"), environment("WAYLAND_DISPLAY")};
}

ScreenWay screenWayFor(bool gnomeSession, bool screenSaver, const SessionDisplays& displays) {
    if (gnomeSession) return ScreenWay::gnomeInhibit;
    if (screenSaver) return ScreenWay::screenSaverInhibit;
    if (displays.x11.empty() && displays.wayland.empty()) return ScreenWay::nothingToDo;
    // Under Wayland an X server (Xwayland) blanks nothing, so its blanker is no way to keep the screen on.
    if (displays.wayland.empty()) return ScreenWay::x11Suspend;
    return ScreenWay::none;
}

const char* describe(ScreenWay way) {
    switch (way) {
        case ScreenWay::gnomeInhibit:
            return "GNOME session manager inhibit (idle: no dimming or blanking)";
        case ScreenWay::screenSaverInhibit:
            return "org.freedesktop.ScreenSaver inhibit (simulated user activity where the service refuses "
                   "it)";
        case ScreenWay::simulatedActivity:
            return "simulated user activity every 4 seconds";
        case ScreenWay::x11Suspend:
            return "the X server's screen saver and DPMS suspended (MIT-SCREEN-SAVER)";
        case ScreenWay::nothingToDo:
            return "no display: nothing to keep on";
        case ScreenWay::none:
            break;
    }
    return "nothing here keeps the screen on: the prevention fails and says so";
}

}  // namespace torvel
