#include "UI/MenuBuilder.h"

#include <algorithm>
#include <utility>

#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Core/TimerManager.h"
#include "Platform/Clock.h"
#include "Support/Localization.h"
#include "UI/MenuIcons.h"

namespace torvel {

namespace {

// The lengths of the extend submenu's two items.
constexpr double kExtendShortSeconds = 900.0;
constexpr double kExtendLongSeconds = 3600.0;

void run(const std::function<void()>& command) {
    if (command) command();
}

}  // namespace

MenuItem menuInfoItem(std::string title, std::string_view symbol) {
    MenuItem item;
    item.style = MenuItemStyle::info;
    item.title = std::move(title);
    item.iconName = std::string(menuIconName(symbol));
    item.enabled = false;
    return item;
}

MenuItem menuHeaderItem(std::string title) {
    MenuItem item;
    item.style = MenuItemStyle::header;
    item.title = std::move(title);
    item.enabled = false;
    return item;
}

MenuItem menuActionItem(std::string title, MenuAction action) {
    MenuItem item;
    item.title = std::move(title);
    item.action = action;
    return item;
}

MenuItem menuSeparator() {
    MenuItem item;
    item.style = MenuItemStyle::separator;
    item.enabled = false;
    return item;
}

MenuItem menuSubmenu(std::string title, std::vector<MenuItem> entries) {
    MenuItem item;
    item.title = std::move(title);
    item.submenu = std::move(entries);
    return item;
}

MenuBuilder::MenuBuilder(MenuBuilderServices services, MenuCommands commands)
    : services_(services), commands_(std::move(commands)) {}

std::string MenuBuilder::text(std::string_view key) const {
    return services_.state.texts().text(key);
}

void MenuBuilder::willOpen() {
    runningApps_ = services_.state.processTrigger().runningApplications();
    // The menu shows the network of this moment, not the last one the monitor happened to report.
    if (services_.state.settings().trustedNetworkActivationEnabled)
        services_.state.trustedNetworks().refreshWiFiState();
    // These answer in the background; the menu shows the last answers and is redrawn when they change.
    if (services_.state.monitorValues().batteryState.hasBattery) services_.state.emergency().refreshAutomationConsent();
    services_.state.emergency().refreshSleepBlockers();
}

MenuModel MenuBuilder::build() const {
    MenuModel menu;
    auto& items = menu.items;
    addEmergencyAlarm(items);
    addActivity(items);
    addAutomationPause(items);
    addStatusMessage(items);
    addTrustedWiFi(items);
    addAutomationConsent(items);
    addSleepBlockers(items);
    addDurations(items);
    addKeepAwakeUntilQuit(items);
    addProfiles(items);
    addFooter(items);
    return menu;
}

bool MenuBuilder::extendCountdown(AppState& state, TimerManager& timer, double seconds) {
    if (!timer.isRunning()) return false;
    timer.extend(seconds);
    state.reevaluateState();
    return true;
}

bool MenuBuilder::offersSleepNow(const AppState& state) {
    return !state.emergency().lastSleepBlockers().empty() &&
           state.emergency().sleepNowReadiness() == LowBatteryEmergency::SleepNowReadiness::ready;
}

void MenuBuilder::perform(const MenuItem& item) {
    AppState& state = services_.state;
    switch (item.action) {
        case MenuAction::deactivate:
            state.deactivateAll();
            break;
        case MenuAction::extend15:
        case MenuAction::extend60:
            extendCountdown(state, services_.timer,
                            item.action == MenuAction::extend15 ? kExtendShortSeconds : kExtendLongSeconds);
            break;
        case MenuAction::pauseOneHour:
            state.automationPause().pause(AutomationPause::Mode::oneHour);
            break;
        case MenuAction::pauseUntilMorning:
            state.automationPause().pause(AutomationPause::Mode::untilMorning);
            break;
        case MenuAction::pauseIndefinitely:
            state.automationPause().pause(AutomationPause::Mode::indefinitely);
            break;
        case MenuAction::resumeAutomation:
            state.automationPause().resume();
            break;
        case MenuAction::emergencyConsent:
            if (commands_.showSettings) commands_.showSettings("battery");
            break;
        case MenuAction::duration:
            if (const auto* duration = std::get_if<Duration>(&item.object)) state.activate(*duration);
            break;
        case MenuAction::customDuration:
            run(commands_.showCustomDuration);
            break;
        case MenuAction::keepAwakeUntilQuit:
            if (const auto* app = std::get_if<RunningAppInfo>(&item.object)) {
                state.automationPause().overrideForExplicitKeepAwake();
                state.processTrigger().watchTransientPID(app->pid);
            }
            break;
        case MenuAction::profile:
            if (const auto* id = std::get_if<Uuid>(&item.object)) {
                // The list may have changed while the menu was open: a deleted profile does nothing.
                const auto& profiles = state.profileLibrary().profiles();
                const auto it = std::find_if(profiles.begin(), profiles.end(),
                                             [id](const Profile& p) { return p.id == *id; });
                if (it != profiles.end()) state.profileLibrary().toggleProfile(Profile(*it));
            }
            break;
        case MenuAction::settings:
            if (commands_.showSettings) commands_.showSettings(std::nullopt);
            break;
        case MenuAction::about:
            run(commands_.showAbout);
            break;
        case MenuAction::quit:
            run(commands_.quit);
            break;
        case MenuAction::silenceAlarm:
            state.emergency().silenceAlarm();
            break;
        case MenuAction::sleepNow:
            state.emergency().sleepNow(services_.clock.suspendingNow());
            break;
        case MenuAction::none:
            break;
    }
}

}  // namespace torvel
