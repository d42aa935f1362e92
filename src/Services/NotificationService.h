#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Support/Lifetime.h"
#include "Support/Signal.h"
#include "Models/BatteryState.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Scheduler.h"

namespace torvel {

class Localization;

/// Fixed title of every notification but the thermal and Low Power Mode ones.
inline constexpr const char* kNotificationTitle = "Torvel";
/// Categories a request may name to get their buttons.
inline constexpr const char* kGuardianReminderCategory = "GUARDIAN_REMINDER";
inline constexpr const char* kLowPowerModeSuggestionCategory = "LPM_SUGGESTION";

/// Tells the user something in the background, and routes the notifications' buttons back into the
/// application. Without permission to show notifications, the body of the last one is kept as a status
/// message for the menu instead.
class NotificationService {
public:
    NotificationService(NotificationCenter& center, Scheduler& scheduler, Localization& texts, LogSink& log);
    ~NotificationService();
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    /// Once at start-up: takes the center's responses, registers the categories and asks for permission.
    void setup();
    /// Sets the categories and their buttons, titled in the current language.
    void registerCategories();

    /// Posts notification `id`, replacing one of the same id that is still shown. Safe from background
    /// work: a call from another thread than the one that made the service is handed to the main loop
    /// through the scheduler's post(), which must then accept calls from any thread (QtScheduler does).
    void send(const std::string& id, const std::string& title, const std::string& body,
              const std::optional<std::string>& category = std::nullopt,
              NotificationUrgency urgency = NotificationUrgency::normal);
    /// The machine slows down under heat. A state outside the four known ones is named "?". These
    /// senders, too, may be called from background work.
    void sendThermalThrottle(ThermalState state);
    /// The emergency ended the named processes that kept the machine awake.
    void sendEmergencyBlockersTerminated(const std::vector<std::string>& names);
    /// The emergency puts the machine to sleep at `percent` despite the named processes.
    void sendEmergencySleep(std::int64_t percent, const std::vector<std::string>& blockerNames);
    /// The battery is at `percent`, the machine cannot be put to sleep and the alarm could not sound:
    /// this notification is the warning left, so it goes out as critical.
    void sendEmergencyAlarmUnavailable(std::int64_t percent);

    /// Told (id, title, body) of every notice send() gives, on the main loop, whether a notification
    /// server shows it or it becomes the status message: faces that show notices themselves follow it.
    Signal<const std::string&, const std::string&, const std::string&> noticeSent;
    /// Emitted when the user chooses the guardian reminder's "deactivate" button.
    Signal<> guardianDeactivate;
    /// Emitted when the user chooses the guardian reminder's "continue" button.
    Signal<> guardianContinue;

    /// The user allowed notifications; false until the answer to setup()'s request arrives.
    bool isAuthorized() const { return isAuthorized_; }
    /// The body of the last notification that could not be shown; absent when there is none.
    const std::optional<std::string>& lastStatusMessage() const { return lastStatusMessage_; }
    void clearLastStatusMessage();
    Signal<> lastStatusMessageChanged;

    /// Distinct non-empty names in order, at most three shown: "a, b, c +2".
    static std::string formatNames(const std::vector<std::string>& names);

private:
    bool onMainLoop() const { return std::this_thread::get_id() == mainThread_; }
    /// Runs `task` on the main loop if the service still exists then.
    void postToMainLoop(std::function<void()> task);
    void handleResponse(const std::string& requestId, const std::string& actionId);

    NotificationCenter& center_;
    Scheduler& scheduler_;
    Localization& texts_;
    Logger log_;
    Connection languageConnection_;
    std::atomic<bool> isAuthorized_ = false;
    std::optional<std::string> lastStatusMessage_;
    /// The main loop's thread: the service is made there.
    std::thread::id mainThread_ = std::this_thread::get_id();
    // Completions and posted tasks do nothing once the service is gone.
    Lifetime lifetime_;
};

}  // namespace torvel
