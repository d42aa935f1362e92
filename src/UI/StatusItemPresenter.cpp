#include "UI/StatusItemPresenter.h"

#include <string>

#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"
#include "UI/DurationTexts.h"

namespace torvel {

StatusItemPresenter::StatusItemPresenter(const AppState& state, const TimerManager& timer)
    : state_(state), timer_(timer) {}

bool StatusItemPresenter::showsRemainingTime() const {
    return state_.isActive() && state_.settings().showRemainingTime && timer_.isRunning();
}

TimerManager::ShownText StatusItemPresenter::shownText() const {
    return showsRemainingTime() ? TimerManager::ShownText::minutes : TimerManager::ShownText::nothing;
}

StatusItemPresentation StatusItemPresenter::present() const {
    const Localization& texts = state_.texts();
    const Duration::TextLookup lookup = durationLookup(texts);
    StatusItemPresentation shown;
    shown.active = state_.isActive();
    shown.iconName = shown.active ? "torvel-active-symbolic" : "torvel-inactive-symbolic";
    shown.accessibleText = texts.text(shown.active ? "a11y.status_active" : "a11y.status_inactive");
    // The alarm is announced by emergencyChanged, a live emergency by the battery and setting signals.
    shown.needsAttention = state_.emergency().alarmActive() || state_.emergency().isLive();

    std::string remaining;
    if (showsRemainingTime()) remaining = Duration::formatInterval(timer_.remainingSeconds(), lookup);
    // Hosts without a label (Plasma) or showing only the tooltip's title (LXQt) show the time here.
    shown.tooltipTitle =
        remaining.empty() ? kProductName : texts.format("a11y.tooltip_remaining", {remaining});

    std::string title = remaining;
    const BatteryState& battery = state_.monitorValues().batteryState;
    if (state_.settings().showBatteryEstimate && battery.hasBattery && !battery.isOnACPower &&
        battery.estimatedMinutesRemaining && *battery.estimatedMinutesRemaining > 0) {
        if (!title.empty()) title += " \u00B7 ";
        title += kBatteryGlyph;
        title += Duration::formatMinutes(*battery.estimatedMinutesRemaining, lookup);
    }
    if (!title.empty()) shown.title = " " + title;
    return shown;
}

}  // namespace torvel
