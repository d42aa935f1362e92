#pragma once

#include <QString>
#include <functional>

#include "UI/MenuModel.h"

namespace torvel {

class AppState;
class Calendar;
class Clock;
class Localization;

/// What the screenshots are taken of and where they go.
struct ScreenshotRequest {
    /// The state drawn (the simulated machine's, with throw-away settings).
    AppState& state;
    /// The texts, already in the language wanted.
    Localization& texts;
    /// The calendar and clock the panels read "today" and clock times from.
    const Calendar& calendar;
    const Clock& clock;
    /// The folder the PNG files are written to; made when missing, but only it: the folder it goes in
    /// must exist.
    QString folder;
    /// Builds the tray menu as it would open now; without it the menu is left out.
    std::function<MenuModel()> buildMenu;
};

/// Renders each settings tab, the panels and sheets, the onboarding hint and the menu to PNG files,
/// in the texts' current language, without showing anything on a screen (run it on the offscreen
/// platform). Returns 0, or 1 when the folder could not be made or a file could not be written (named
/// on stderr).
int runScreenshots(const ScreenshotRequest& request);

/// Fills the state with a few networks, watched applications and a custom profile, so the lists in
/// the screenshots are not empty. For a throw-away state only: it stores them.
void addScreenshotExamples(AppState& state);

}  // namespace torvel
