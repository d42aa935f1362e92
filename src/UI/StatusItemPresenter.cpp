#include "UI/StatusItemPresenter.h"

#include <string>

#include "Core/AppState.h"
#include "Support/Localization.h"

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
    StatusItemPresentation shown;
    shown.active = state_.isActive();
    shown.iconName = shown.active ? "torvel-active-symbolic" : "torvel-inactive-symbolic";
    shown.accessibleText = state_.texts().text(shown.active ? "a11y.status_active" : "a11y.status_inactive");

    std::string title;
    if (showsRemainingTime()) title = Duration::formatInterval(timer_.remainingSeconds());
    const BatteryState& battery = state_.batteryState();
    if (state_.settings().showBatteryEstimate && battery.hasBattery && !battery.isOnACPower &&
        battery.estimatedMinutesRemaining && *battery.estimatedMinutesRemaining > 0) {
        if (!title.empty()) title += " \u00B7 ";
        title += kBatteryGlyph;
        title += Duration::formatMinutes(*battery.estimatedMinutesRemaining);
    }
    if (!title.empty()) shown.title = " " + title;
    return shown;
}

}  // namespace torvel
