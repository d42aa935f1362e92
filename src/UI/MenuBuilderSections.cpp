// The menu's sections, top to bottom; each appears only while its condition holds.
#include <algorithm>
#include <string>

#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Core/Profiles.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Platform/Clock.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"
#include "UI/DurationTexts.h"
#include "UI/MenuBuilder.h"
#include "UI/MenuIcons.h"

namespace torvel {

namespace {

// The picture beside each reason's line.
std::string_view reasonSymbol(ActivationReason reason) {
    switch (reason) {
        case ActivationReason::manual:
            return "hand.tap";
        case ActivationReason::timer:
            return "timer";
        case ActivationReason::profile:
            return "star.fill";
        case ActivationReason::externalDisplay:
            return "display";
        case ActivationReason::mirroring:
            return "rectangle.on.rectangle";
        case ActivationReason::trustedNetwork:
            return "wifi";
        case ActivationReason::processRunning:
            return "terminal";
    }
    return {};
}

constexpr std::string_view kMiddleDot = " \u00B7 ";
// Beyond this many groups, or members of a group, one "and n more" line stands for the rest.
constexpr std::size_t kBlockerLines = 8;

struct BlockerGroup {
    std::string name;
    std::vector<const SleepBlocker*> members;
};

// One group per shown name, the largest first, then by name; members keep the census order. Locks the
// session holds for its applications are one group under `sessionRelay`: the process is not what to quit.
std::vector<BlockerGroup> groupBlockers(const std::vector<SleepBlocker>& blockers,
                                        const std::string& sessionRelay) {
    std::vector<BlockerGroup> groups;
    for (const auto& blocker : blockers) {
        const std::string name = blocker.isSessionRelay ? sessionRelay : blocker.displayName();
        auto it = std::find_if(groups.begin(), groups.end(), [&name](const BlockerGroup& g) { return g.name == name; });
        if (it == groups.end()) it = groups.insert(groups.end(), BlockerGroup{name, {}});
        it->members.push_back(&blocker);
    }
    std::stable_sort(groups.begin(), groups.end(), [](const BlockerGroup& a, const BlockerGroup& b) {
        if (a.members.size() != b.members.size()) return a.members.size() > b.members.size();
        return a.name < b.name;
    });
    return groups;
}

}  // namespace

bool MenuBuilder::isUserControlled() const {
    const AppState& state = services_.state;
    return services_.timer.isRunning() || state.activeProfileID().has_value() ||
           state.activeReasons().contains(ActivationReason::manual);
}

void MenuBuilder::addEmergencyAlarm(std::vector<MenuItem>& items) const {
    switch (services_.state.emergency().alarmStatus()) {
        case EmergencyAlarmStatus::off:
            return;
        case EmergencyAlarmStatus::sounding:
            items.push_back(menuInfoItem(text("menu.emergency_alarm"), "exclamationmark.triangle.fill"));
            items.push_back(menuActionItem(text("menu.silence_alarm"), MenuAction::silenceAlarm));
            break;
        case EmergencyAlarmStatus::unavailable:
            // Nothing to silence: the line says the warning the user was meant to hear never came.
            items.push_back(
                menuInfoItem(text("menu.emergency_alarm_unavailable"), "exclamationmark.triangle.fill"));
            break;
    }
    items.push_back(menuSeparator());
}

void MenuBuilder::addAutomationConsent(std::vector<MenuItem>& items) const {
    const AppState& state = services_.state;
    if (!state.settings().emergencyPowerEnabled || !state.monitorValues().batteryState.hasBattery ||
        state.emergency().automationConsent() == AutomationConsent::granted)
        return;
    items.push_back(menuInfoItem(text("menu.emergency_consent_missing"), "exclamationmark.triangle"));
    items.push_back(menuActionItem(text("menu.emergency_consent_fix"), MenuAction::emergencyConsent));
    items.push_back(menuSeparator());
}

void MenuBuilder::addSleepBlockers(std::vector<MenuItem>& items) const {
    const AppState& state = services_.state;
    const auto groups = groupBlockers(state.emergency().lastSleepBlockers(), text("menu.sleep_blockers_session_relay"));
    if (groups.empty()) return;
    const Localization& texts = state.texts();
    auto more = [&texts](std::size_t count) {
        return texts.format("menu.sleep_blockers_more", {static_cast<long long>(count)});
    };
    items.push_back(menuHeaderItem(text("menu.sleep_blockers")));
    // Panel menus show no tooltips: each group opens onto its processes.
    for (std::size_t g = 0; g < std::min(groups.size(), kBlockerLines); ++g) {
        const auto& group = groups[g];
        std::vector<MenuItem> lines;
        for (std::size_t m = 0; m < std::min(group.members.size(), kBlockerLines); ++m) {
            const SleepBlocker& member = *group.members[m];
            const std::string why =
                member.assertionName.empty() ? std::string(shownName(member.kind)) : member.assertionName;
            // The session's group names no process: each line says which one holds the lock.
            const std::string who = member.isSessionRelay ? " (" + member.displayName() + ")" : std::string();
            lines.push_back(menuInfoItem("PID " + std::to_string(member.pid) + who + " \u2014 " + why));
        }
        if (group.members.size() > kBlockerLines) lines.push_back(menuInfoItem(more(group.members.size() - kBlockerLines)));
        std::string title = group.name;
        if (group.members.size() >= 2) title += " \u00D7" + std::to_string(group.members.size());
        MenuItem item = menuSubmenu(std::move(title), std::move(lines));
        item.iconName = std::string(menuIconName("bolt.slash"));
        items.push_back(std::move(item));
    }
    if (groups.size() > kBlockerLines) items.push_back(menuInfoItem(more(groups.size() - kBlockerLines)));

    const auto readiness = state.emergency().sleepNowReadiness();
    const bool ready = offersSleepNow(state);
    // No item quits the blockers: logind lets the user's own locks pass our Suspend, so quitting them
    // would lose their unsaved work for nothing. Only the emergency the user configured terminates.
    MenuItem sleep = menuActionItem(text("menu.sleep_now"), ready ? MenuAction::sleepNow : MenuAction::none);
    sleep.enabled = ready;
    items.push_back(std::move(sleep));
    if (!ready) {
        const bool pending = readiness == LowBatteryEmergency::SleepNowReadiness::sendPending;
        items.push_back(menuInfoItem(text(pending ? "menu.sleep_now_unavailable.send_pending"
                                                  : "menu.sleep_now_unavailable.sleep_disabled"),
                                     "exclamationmark.triangle"));
    }
    items.push_back(menuSeparator());
}

void MenuBuilder::addActivity(std::vector<MenuItem>& items) const {
    const AppState& state = services_.state;
    if (!state.isActive()) return;
    const Localization& texts = state.texts();
    const bool timerRunning = services_.timer.isRunning();
    const Duration::TextLookup lookup = durationLookup(texts);

    MenuItem status = menuInfoItem(
        timerRunning ? texts.format("menu.active_remaining",
                                    {Duration::formatInterval(services_.timer.remainingSeconds(), lookup)})
                     : text("menu.active"),
        "cup.and.saucer.fill");
    status.style = MenuItemStyle::normal;  // the headline, in the normal font, yet not clickable
    items.push_back(std::move(status));

    for (ActivationReason reason : sortedForDisplay(state.activeReasons()))
        items.push_back(menuInfoItem(text(labelKey(reason)), reasonSymbol(reason)));

    std::string parts;
    if (state.currentAssertionType() == AssertionType::noDisplaySleep) parts = text("menu.display");
    if (services_.sleepPrevention.isScreenSaverPreventionActive()) {
        if (!parts.empty()) parts += kMiddleDot;
        parts += text("menu.screensaver");
    }
    if (!parts.empty()) items.push_back(menuInfoItem("+ " + parts));

    const BatteryState& battery = state.monitorValues().batteryState;
    if (state.settings().showBatteryEstimate && battery.hasBattery && !battery.isOnACPower &&
        battery.estimatedMinutesRemaining && *battery.estimatedMinutesRemaining > 0) {
        items.push_back(menuInfoItem(
            texts.format("menu.battery_estimate",
                         {Duration::formatMinutes(*battery.estimatedMinutesRemaining, lookup)}),
            "battery.100"));
    }

    if (isUserControlled()) {
        items.push_back(menuSeparator());
        const bool cancelsTimer = timerRunning && !state.activeProfileID();
        items.push_back(
            menuActionItem(text(cancelsTimer ? "menu.cancel_timer" : "menu.deactivate"), MenuAction::deactivate));
        if (timerRunning) {
            items.push_back(menuSubmenu(text("menu.extend"),
                                        {menuActionItem(text("menu.extend.15min"), MenuAction::extend15),
                                         menuActionItem(text("menu.extend.1h"), MenuAction::extend60)}));
        }
    }

    bool automatic = false;
    for (ActivationReason reason : state.activeReasons()) automatic = automatic || isAutomatic(reason);
    if (automatic) {
        items.push_back(menuSeparator());
        items.push_back(menuSubmenu(
            text("menu.pause_automation"),
            {menuActionItem(text("menu.pause_automation.1h"), MenuAction::pauseOneHour),
             menuActionItem(text("menu.pause_automation.morning"), MenuAction::pauseUntilMorning),
             menuActionItem(text("menu.pause_automation.indefinite"), MenuAction::pauseIndefinitely)}));
    }
    items.push_back(menuSeparator());
}

void MenuBuilder::addAutomationPause(std::vector<MenuItem>& items) const {
    const auto& until = services_.state.automationPause().pausedUntil();
    if (!until || !(services_.clock.now() < *until)) return;
    items.push_back(menuInfoItem("  " + text("menu.automation_paused")));
    items.push_back(menuActionItem(text("menu.resume_automation"), MenuAction::resumeAutomation));
    items.push_back(menuSeparator());
}

void MenuBuilder::addStatusMessage(std::vector<MenuItem>& items) const {
    const auto& message = services_.notifications.lastStatusMessage();
    if (!message) return;
    items.push_back(menuInfoItem(*message, "exclamationmark.triangle"));
    items.push_back(menuSeparator());
}

void MenuBuilder::addTrustedWiFi(std::vector<MenuItem>& items) const {
    const AppState& state = services_.state;
    if (!state.settings().trustedNetworkActivationEnabled) return;
    items.push_back(menuInfoItem(state.trustedNetworks().statusText(true)));
    items.push_back(menuSeparator());
}

void MenuBuilder::addDurations(std::vector<MenuItem>& items) const {
    const Localization& texts = services_.state.texts();
    const Duration::TextLookup lookup = durationLookup(texts);
    std::vector<MenuItem> entries;
    for (const Duration& duration : Duration::menuPresets()) {
        MenuItem item = menuActionItem(duration.menuTitle(lookup, services_.calendar), MenuAction::duration);
        item.object = duration;
        entries.push_back(std::move(item));
    }
    entries.push_back(menuSeparator());
    entries.push_back(menuActionItem(text("menu.sleep_until"), MenuAction::customDuration));
    items.push_back(menuSubmenu(text("menu.sleep_for"), std::move(entries)));
}

void MenuBuilder::addKeepAwakeUntilQuit(std::vector<MenuItem>& items) const {
    std::vector<MenuItem> entries;
    if (!runningApps_) runningApps_ = services_.state.processTrigger().runningApplications();
    for (const RunningAppInfo& app : *runningApps_) {
        // A nameless process still needs a line the user can tell apart.
        std::string title = !app.name.empty()        ? app.name
                            : !app.desktopId.empty() ? app.desktopId
                                                     : std::to_string(app.pid);
        MenuItem item = menuActionItem(std::move(title), MenuAction::keepAwakeUntilQuit);
        item.object = app;
        entries.push_back(std::move(item));
    }
    if (entries.empty()) return;
    items.push_back(menuSubmenu(text("menu.keep_awake_until_quit"), std::move(entries)));
}

void MenuBuilder::addProfiles(std::vector<MenuItem>& items) const {
    const AppState& state = services_.state;
    if (state.profileLibrary().profiles().empty()) return;
    items.push_back(menuSeparator());
    items.push_back(menuHeaderItem(text("menu.profiles")));
    for (const Profile& profile : state.profileLibrary().profiles()) {
        MenuItem item = menuActionItem(displayName(profile, state.texts()), MenuAction::profile);
        item.object = profile.id;
        item.checkable = true;
        item.checked = state.activeProfileID() == profile.id;
        items.push_back(std::move(item));
    }
}

void MenuBuilder::addFooter(std::vector<MenuItem>& items) const {
    items.push_back(menuSeparator());
    items.push_back(menuActionItem(text("menu.settings"), MenuAction::settings));
    items.push_back(menuActionItem(text("menu.about"), MenuAction::about));
    // No update item: on Linux the distribution's packages bring new versions.
    items.push_back(menuSeparator());
    items.push_back(menuActionItem(text("menu.quit"), MenuAction::quit));
}

}  // namespace torvel
