#include "Services/NotificationService.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "Support/Localization.h"

namespace torvel {

namespace {
constexpr const char* kGuardianContinueAction = "GUARDIAN_CONTINUE";
constexpr const char* kGuardianDeactivateAction = "GUARDIAN_DEACTIVATE";
constexpr const char* kOpenBatterySettingsAction = "OPEN_BATTERY_SETTINGS";
constexpr std::size_t kNamesShown = 3;

std::string_view thermalStateKey(ThermalState state) {
    switch (state) {
        case ThermalState::nominal:
            return "thermal.nominal";
        case ThermalState::fair:
            return "thermal.fair";
        case ThermalState::serious:
            return "thermal.serious";
        case ThermalState::critical:
            return "thermal.critical";
    }
    return {};
}
}  // namespace

NotificationService::NotificationService(NotificationCenter& center, Scheduler& scheduler,
                                         Localization& texts, LogSink& log)
    : center_(center), scheduler_(scheduler), texts_(texts), log_(log, "Notifications") {}

NotificationService::~NotificationService() {
    center_.setResponseHandler(nullptr);
}

void NotificationService::setup() {
    center_.setResponseHandler([this](const std::string& requestId, const std::string& actionId) {
        handleResponse(requestId, actionId);
    });
    registerCategories();
    // Action titles follow the language.
    languageConnection_ = texts_.languageChanged.connect([this] { registerCategories(); });
    center_.requestAuthorization(lifetime_.guard([this](bool granted, const std::optional<std::string>& error) {
        if (error) {
            log_.error("Notification authorization failed: {}", *error);
        } else if (!granted) {
            log_.info("Notification authorization denied by user — using fallback status messages");
        }
        // Set on a turn of its own, never in the middle of a send() that reads it.
        scheduler_.post(lifetime_.guard([this, granted] { isAuthorized_ = granted; }));
    }));
}

void NotificationService::registerCategories() {
    using enum NotificationActionOption;
    center_.setCategories({
        {kGuardianReminderCategory,
         {{kGuardianContinueAction, texts_.text("notification.guardian_continue"), none},
          {kGuardianDeactivateAction, texts_.text("notification.guardian_deactivate"), destructive}}},
        {kLowPowerModeSuggestionCategory,
         {{kOpenBatterySettingsAction, texts_.text("notification.lpm_suggestion.action_open"), foreground}}},
    });
}

void NotificationService::postToMainLoop(std::function<void()> task) {
    // Taken on a background thread, checked on the main loop where the service lives and dies.
    scheduler_.post([alive = lifetime_.watch(), task = std::move(task)] {
        if (!alive.expired()) task();
    });
}

void NotificationService::send(const std::string& id, const std::string& title, const std::string& body,
                               const std::optional<std::string>& category, NotificationUrgency urgency) {
    if (!onMainLoop()) {
        // The center and the texts belong to the main loop; background work only queues the request.
        return postToMainLoop(
            [this, id, title, body, category, urgency] { send(id, title, body, category, urgency); });
    }
    noticeSent.emit(id, title, body);
    if (!isAuthorized_) {
        scheduler_.post(lifetime_.guard([this, body] {
            lastStatusMessage_ = body;
            lastStatusMessageChanged.emit();
        }));
        return;
    }
    center_.add(NotificationRequest{id, title, body, category, true, urgency},
                lifetime_.guard([this, id](const std::optional<std::string>& error) {
                    if (error) log_.error("Failed to deliver notification '{}': {}", id, *error);
                }));
}

void NotificationService::sendThermalThrottle(ThermalState state) {
    if (!onMainLoop()) {
        return postToMainLoop([this, state] { sendThermalThrottle(state); });
    }
    const std::string_view key = thermalStateKey(state);
    const std::string name = key.empty() ? "?" : texts_.text(key);
    send("thermal-throttle", texts_.text("notification.thermal_throttle.title"),
         texts_.format("notification.thermal_throttle.body", {name}));
}

void NotificationService::sendEmergencyBlockersTerminated(const std::vector<std::string>& names) {
    if (!onMainLoop()) {
        return postToMainLoop([this, names] { sendEmergencyBlockersTerminated(names); });
    }
    send("emergency-terminated", kNotificationTitle,
         texts_.format("notification.emergency_terminated", {formatNames(names)}));
}

void NotificationService::sendEmergencySleep(std::int64_t percent,
                                             const std::vector<std::string>& blockerNames) {
    if (!onMainLoop()) {
        return postToMainLoop([this, percent, blockerNames] { sendEmergencySleep(percent, blockerNames); });
    }
    send("emergency-sleep", kNotificationTitle,
         texts_.format("notification.emergency_sleep",
                       {static_cast<long long>(percent), formatNames(blockerNames)}));
}

void NotificationService::sendEmergencyAlarmUnavailable(std::int64_t percent) {
    if (!onMainLoop()) return postToMainLoop([this, percent] { sendEmergencyAlarmUnavailable(percent); });
    send("emergency-alarm", kNotificationTitle,
         texts_.format("notification.emergency_alarm_unavailable", {static_cast<long long>(percent)}),
         std::nullopt, NotificationUrgency::critical);
}

void NotificationService::clearLastStatusMessage() {
    if (!lastStatusMessage_) return;
    lastStatusMessage_.reset();
    lastStatusMessageChanged.emit();
}

std::string NotificationService::formatNames(const std::vector<std::string>& names) {
    std::vector<std::string> distinct;
    for (const auto& name : names) {
        if (!name.empty() && std::find(distinct.begin(), distinct.end(), name) == distinct.end()) {
            distinct.push_back(name);
        }
    }
    std::string out;
    for (std::size_t i = 0; i < std::min(distinct.size(), kNamesShown); ++i) {
        if (i > 0) out += ", ";
        out += distinct[i];
    }
    if (distinct.size() > kNamesShown) out += " +" + std::to_string(distinct.size() - kNamesShown);
    return out;
}

void NotificationService::handleResponse(const std::string& requestId, const std::string& actionId) {
    log_.debug("Response '{}' to notification '{}'", actionId, requestId);
    if (actionId == kGuardianContinueAction) {
        guardianContinue.emit();
    } else if (actionId == kGuardianDeactivateAction) {
        guardianDeactivate.emit();
    } else if (actionId == kOpenBatterySettingsAction) {
        if (!center_.openPowerSettings()) log_.error("Could not open the power settings");
    }
}

}  // namespace torvel
