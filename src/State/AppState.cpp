#include "State/AppState.h"

#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"

namespace torvel {

AppState::AppState(AppStateServices services, Calendar calendar)
    : services_(services),
      log_(services.log, "AppState"),
      calendar_(std::move(calendar)),
      settings_(loadSettings(services.defaults, Logger(services.log, "Settings"), services.clock.now())),
      automationPause_(*this, services.clock, services.scheduler, services.defaults, calendar_),
      processTrigger_(*this, services.clock, services.defaults, services.log),
      trustedNetworks_(*this, services.clock, services.defaults, services.texts, services.log),
      profiles_(*this, services.clock, services.defaults, services.texts, services.log),
      lidLock_(*this, {services.stayguard, services.lowPowerMode, services.audio}, services.notifications,
               services.texts, services.log),
      safety_(*this, lidLock_,
              {services.scheduler, services.log, services.texts, services.notifications,
               services.sleepPrevention, services.audio}),
      emergency_(std::make_unique<LowBatteryEmergency>(
          *this, LowBatteryEmergencyServices{services.clock, services.scheduler, services.log, services.texts,
                                             services.notifications, services.audio, &lidLock_,
                                             services.stayguardHelper, services.emergencyWork,
                                             [this] { lidLock_.install(); }})) {
    services_.texts.updateBundle(settings_.language);

    serviceConnections_.push_back(services_.timerManager.expired.connect([this] { handleTimerExpired(); }));
    // The countdown's remaining time is part of what observers show.
    serviceConnections_.push_back(
        services_.timerManager.changed.connect([this] { activationChanged.emit(); }));

    // A refresh failure is reported from inside the service's timer; tell the user on the next turn of
    // the main loop, and only if this state still exists then.
    const auto screenSaverFailed = [this] {
        services_.scheduler.post(lifetime_.guard([this] {
            if (isActive_) tellScreenSaverFailure();
        }));
    };
    serviceConnections_.push_back(
        services_.sleepPrevention.screenSaverPreventionFailed.connect(screenSaverFailed));
    serviceConnections_.push_back(services_.guardian.reminder.connect([this](std::int64_t hours) {
        const std::string body = services_.texts.format("notification.guardian_reminder", {hours});
        services_.notifications.send("guardian-reminder", kNotificationTitle, body,
                                     kGuardianReminderCategory);
    }));
    serviceConnections_.push_back(
        services_.notifications.guardianDeactivate.connect([this] { deactivateAll(); }));
    serviceConnections_.push_back(services_.notifications.guardianContinue.connect(
        [this] { services_.guardian.startWatching(settings_.guardianHours); }));
    automationPause_.restore();
}

AppState::~AppState() = default;

void AppState::notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args) {
    std::vector<TextArg> textArgs(args.begin(), args.end());
    services_.notifications.send(id, kNotificationTitle, services_.texts.format(bodyKey, textArgs));
}

}  // namespace torvel
