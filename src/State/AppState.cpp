#include "State/AppState.h"

#include "Support/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Models/SSIDText.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"

namespace torvel {

AppState::AppState(AppStateServices services, Calendar calendar)
    : services_(services),
      log_(services.log, "AppState"),
      calendar_(std::move(calendar)),
      settings_(loadSettings(services.defaults, Logger(services.log, "Settings"), services.clock.now())) {
    services_.texts.updateBundle(settings_.language);
    loadWatchedApps();
    loadProfileList();

    services_.timerManager.setOnExpired([this] { handleTimerExpired(); });
    // The countdown's remaining time is part of what observers show.
    timerConnection_ = services_.timerManager.changed.connect([this] { activationChanged.emit(); });

    // A refresh failure is reported from inside the service's timer; tell the user on the next turn of
    // the main loop, and only if this state still exists then.
    std::weak_ptr<int> alive = lifetime_;
    services_.sleepPrevention.setOnScreenSaverPreventionFailed([this, alive] {
        services_.scheduler.post([this, alive] {
            if (alive.lock() && isActive_) tellScreenSaverFailure();
        });
    });
    services_.guardian.setOnReminder([this](std::int64_t hours) {
        const std::string body = services_.texts.format("notification.guardian_reminder", {hours});
        services_.notifications.send("guardian-reminder", kNotificationTitle, body,
                                     kGuardianReminderCategory);
    });
    services_.notifications.setOnGuardianDeactivate([this] { deactivateAll(); });
    services_.notifications.setOnGuardianContinue(
        [this] { services_.guardian.startWatching(settings_.guardianHours); });
    restoreAutomationPause();
}

AppState::~AppState() {
    services_.timerManager.setOnExpired(nullptr);
    services_.sleepPrevention.setOnScreenSaverPreventionFailed(nullptr);
    services_.guardian.setOnReminder(nullptr);
    services_.notifications.setOnGuardianDeactivate(nullptr);
    services_.notifications.setOnGuardianContinue(nullptr);
    unwireProcessMonitor();
}

void AppState::updateMonitorValues(const std::function<void(MonitorValues&)>& change) {
    change(monitors_);
    reevaluateState();
}

bool AppState::isTrustedSSID(const std::string& ssid) const {
    // Typed names carry a backslash as it is, seen and added ones escaped: both stand for the same bytes.
    const std::string wanted = canonicalSSID(ssid);
    for (const auto& network : settings_.trustedNetworks) {
        if (canonicalSSID(network.ssid) == wanted) return true;
    }
    return false;
}

const Profile* AppState::profileWithID(const std::optional<Uuid>& id) const {
    if (!id) return nullptr;
    for (const auto& profile : profiles_) {
        if (profile.id == *id) return &profile;
    }
    return nullptr;
}

void AppState::notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args) {
    std::vector<TextArg> textArgs(args.begin(), args.end());
    services_.notifications.send(id, kNotificationTitle, services_.texts.format(bodyKey, textArgs));
}

}  // namespace torvel
