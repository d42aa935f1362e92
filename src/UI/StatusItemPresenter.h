#pragma once

#include "Core/TimerManager.h"
#include "UI/StatusItemPresentation.h"

namespace torvel {

class AppState;

/// What the status item shows: the cup (full while the computer is kept awake), its accessible text,
/// the title of remaining time and battery estimate, the tooltip's title (with the remaining time when
/// the title shows it) and whether the item needs attention (the low-battery emergency).
///
/// It keeps nothing between calls: every presentation is in the language the texts are in now, so the
/// tray must present again when the language changes (Localization::languageChanged), not only on
/// settingChanged, which comes before the new texts are loaded.
///
/// For its user (the tray): present() again whenever the state's activation, the countdown, the battery
/// or the display settings change. While the menu or a window is open, hold TimerManager::showSeconds()
/// so the remaining time counts down by the second; at every presentation, hand shownText() to
/// TimerManager::setShownText so that the countdown wakes only as often as the title changes.
class StatusItemPresenter {
public:
    /// The battery glyph of the title. Panel labels are plain text, so the glyph is the battery
    /// character U+1F50B; a panel without a colour font draws it in outline.
    static constexpr const char* kBatteryGlyph = "\U0001F50B";
    /// The tooltip's title while no countdown shows; the product's name is not translated.
    static constexpr const char* kProductName = "Torvel";

    /// Reads `state` and `timer`, which outlive the presenter.
    StatusItemPresenter(const AppState& state, const TimerManager& timer);

    /// The status item as the state stands now.
    StatusItemPresentation present() const;
    /// How finely the title reads the countdown: minutes while it shows the remaining time, else nothing.
    TimerManager::ShownText shownText() const;

private:
    bool showsRemainingTime() const;

    const AppState& state_;
    const TimerManager& timer_;
};

}  // namespace torvel
