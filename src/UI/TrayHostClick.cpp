#include "UI/TrayHostClick.h"

namespace torvel {

TrayHostClick statusNotifierHostClick(std::string_view watcherProgram, bool gnomeSession) {
    // GNOME's StatusNotifier host lives inside the shell: its extension opens the menu on a left click.
    // Every other known host (plasmashell, xfce4-panel's plugin, lxqt-panel, Cinnamon's and MATE's
    // applets) calls Activate. The program name is what tells; the session's name only when it is unknown
    // (another user's process, another PID namespace).
    if (!watcherProgram.empty())
        return watcherProgram == "gnome-shell" ? TrayHostClick::opensMenu : TrayHostClick::toggles;
    return gnomeSession ? TrayHostClick::opensMenu : TrayHostClick::toggles;
}

std::string_view onboardingNoticeKey(TrayHostClick click) {
    return click == TrayHostClick::opensMenu ? "onboarding.notice_menu_on_click"
                                             : "onboarding.notice_toggle_on_click";
}

}  // namespace torvel
