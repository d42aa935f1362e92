#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Models/RunningAppInfo.h"
#include "UI/MenuModel.h"

namespace torvel {

class AppState;
class Calendar;
class Clock;
class NotificationService;
class SleepPreventionProtocol;
class TimerManager;

/// What the application itself does for menu items the state cannot: windows, panels and quitting.
/// An empty callback makes its item do nothing.
struct MenuCommands {
    /// Raises the settings window, on the named tab ("battery") or where it was.
    std::function<void(std::optional<std::string> tab)> showSettings;
    /// Shows the panel for a custom length or end time.
    std::function<void()> showCustomDuration;
    std::function<void()> showAbout;
    std::function<void()> quit;
};

/// What the menu reads from; everything outlives the builder.
struct MenuBuilderServices {
    AppState& state;
    TimerManager& timer;
    const NotificationService& notifications;
    const SleepPreventionProtocol& sleepPrevention;
    const Clock& clock;
    const Calendar& calendar;
};

/// Builds the status item's menu (a read-out of why and how long the computer stays awake, then every
/// action) and carries out the item the user chose. Main thread only.
class MenuBuilder {
public:
    MenuBuilder(MenuBuilderServices services, MenuCommands commands);

    /// A menu is opening: reads afresh what the menu shows that nothing reports by itself (the running
    /// applications) and asks for the readings that answer in the background (the Wi-Fi network, the
    /// permission to sleep, the sleep blockers); their answers arrive as changes of the state.
    void willOpen();
    /// The menu as the state stands now. Only reads: a rebuild after a change starts nothing.
    MenuModel build() const;
    /// Carries out `item`'s action; an item whose object does not fit its action does nothing.
    void perform(const MenuItem& item);

    /// The extend items: moves the running countdown's end `seconds` later. False, changing nothing,
    /// when no countdown runs (the menu then has no such item).
    static bool extendCountdown(AppState& state, TimerManager& timer, double seconds);
    /// Whether the menu offers Sleep now: the last census found something that blocks sleep (the
    /// section the item sits in shows) and no sleep request is out or known to be refused.
    static bool offersSleepNow(const AppState& state);

private:
    // MenuBuilderSections.cpp: the sections, top to bottom.
    void addEmergencyAlarm(std::vector<MenuItem>& items) const;
    void addActivity(std::vector<MenuItem>& items) const;
    void addAutomationPause(std::vector<MenuItem>& items) const;
    void addStatusMessage(std::vector<MenuItem>& items) const;
    void addTrustedWiFi(std::vector<MenuItem>& items) const;
    void addAutomationConsent(std::vector<MenuItem>& items) const;
    void addSleepBlockers(std::vector<MenuItem>& items) const;
    void addDurations(std::vector<MenuItem>& items) const;
    void addKeepAwakeUntilQuit(std::vector<MenuItem>& items) const;
    void addProfiles(std::vector<MenuItem>& items) const;
    void addFooter(std::vector<MenuItem>& items) const;
    /// The activation was started by the user (timer, profile or by hand), so the menu may end it.
    bool isUserControlled() const;

    std::string text(std::string_view key) const;

    MenuBuilderServices services_;
    MenuCommands commands_;
    /// As read at the last opening (or the first build): scanning the processes at every change would
    /// wake the machine.
    mutable std::optional<std::vector<RunningAppInfo>> runningApps_;
};

/// A greyed line of information with an optional symbol (see menuIconName).
MenuItem menuInfoItem(std::string title, std::string_view symbol = {});
/// A greyed heading above a group of items.
MenuItem menuHeaderItem(std::string title);
/// An item that runs `action`.
MenuItem menuActionItem(std::string title, MenuAction action);
/// A separator line.
MenuItem menuSeparator();
/// An item opening `entries`; it has no action of its own.
MenuItem menuSubmenu(std::string title, std::vector<MenuItem> entries);

}  // namespace torvel
