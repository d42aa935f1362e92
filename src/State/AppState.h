#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Core/PriorityChain.h"
#include "Core/Settings.h"
#include "Core/SettingsValues.h"
#include "Models/BatteryState.h"
#include "Models/Calendar.h"
#include "Models/Duration.h"
#include "Models/Profile.h"
#include "Models/Result.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "State/AppStateServices.h"
#include "State/Lid/LidLock.h"
#include "State/MonitorValues.h"
#include "State/Network/TrustedNetworkTrigger.h"
#include "State/Pause/AutomationPause.h"
#include "State/Processes/ProcessTrigger.h"
#include "State/Profiles/ProfileLibrary.h"
#include "State/Safety/SafetyGuards.h"
#include "State/SessionControl.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

class LowBatteryEmergency;

/// The one object that knows whether the computer is kept awake, why, and with which assertion.
/// No command changes the held assertion directly: each changes an input and calls
/// reevaluateState(), which recomputes the whole decision and applies it. Main thread only.
class AppState : public SessionControl {
public:
    /// Loads every setting, switches the texts to the stored language, restores a stored automation pause.
    explicit AppState(AppStateServices services, Calendar calendar = Calendar::current());
    ~AppState() override;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Published activation state; `activationChanged` tells observers of every change.
    bool isActive() const override { return isActive_; }
    const ReasonSet& activeReasons() const override { return activeReasons_; }
    std::optional<AssertionType> currentAssertionType() const override { return currentAssertionType_; }
    const std::optional<Uuid>& activeProfileID() const override { return activeProfileID_; }
    bool isManuallyActivated() const { return isManuallyActivated_; }
    /// The desktop refused the assertion the decision wants: nothing is held, activeReasons and
    /// currentAssertionType describe the waiting session, retried every 30 s and when an inhibitor appears.
    bool isRequestPending() const override { return requestPending_; }
    Signal<> activationChanged;

    // Commands (AppStateActivation.cpp).
    /// The tray icon's click: starts or ends a session, or pauses the triggers when only they hold.
    void toggle();
    void activate(const Duration& duration);
    /// Starts a session from `profile`: its duration, assertion type and battery limit.
    void activateProfile(const Profile& profile) override;
    /// Ends all user-started activity; automatic reasons that still hold keep the computer awake.
    void deactivateAll() override;
    /// Brings a saved session back (time left, manual flag, profile) and re-evaluates; false, changing
    /// nothing, when its timed part has run out (AppStateSession.cpp).
    bool restoreSession(const SavedSession& saved);

    // The decision (AppStateEvaluation.cpp).
    void reevaluateState() override;
    /// An inhibit service appeared on or left the bus: a pending request is retried at once.
    void handleInhibitServicesChanged();
    /// The decision's inputs as they stand (the benchmarks time the decision on it).
    PriorityChainInput makePriorityChainInput() const;

    // The inputs (AppStateInputs.cpp); each records the reading and re-evaluates.
    const MonitorValues& monitorValues() const override { return monitors_; }
    void updateMonitorValues(const std::function<void(MonitorValues&)>& change) override;
    /// A new power-source reading: limits, resume on the charger, the emergency's watchdog.
    void handleBatteryStateChanged(const BatteryState& state);
    Signal<> batteryStateChanged;
    /// A new thermal state: the kill switch, the throttle notice, resume when the heat is gone.
    void handleThermalStateChanged(ThermalState state);
    /// The lid opened or closed: the trusted-network latch and the lid lock follow (AppStateLid.cpp).
    void handleLidStateChanged(bool closed);
    /// Quitting: the alarm stops; the power saver and the lid lock this run switched on are switched off.
    void handleAppTerminate();

    // Settings (AppStateSettings.cpp).
    const SettingsValues& settings() const override { return settings_; }
    /// Stores, publishes and runs the setting's change handling, also for an unchanged value. A value the
    /// store cannot write changes nothing: a notSaved refusal naming the file and the reason. For the
    /// members of type bool, std::int64_t, float, AssertionType and AppLanguage.
    template <typename T>
    std::optional<SettingRefusal> set(T SettingsValues::*member, std::type_identity_t<T> value);
    /// A scalar setting from text, typed by the settings table; badInput (no change) for an unknown key,
    /// a value of the wrong kind or out of range, notSaved as for set().
    std::optional<SettingRefusal> setSettingFromText(std::string_view key, std::string_view text);
    /// Tells observers the key of every assigned setting.
    Signal<std::string_view> settingChanged;
    /// The texts in the user's language.
    const Localization& texts() const { return services_.texts; }
    /// The system's language changed: with the language on "system", the texts are reloaded.
    void handleLocaleChanged();

    // The concerns AppState delegates to, each a class of its own (State/*/), owned here.
    AutomationPause& automationPause() { return automationPause_; }
    const AutomationPause& automationPause() const { return automationPause_; }
    ProcessTrigger& processTrigger() { return processTrigger_; }
    const ProcessTrigger& processTrigger() const { return processTrigger_; }
    TrustedNetworkTrigger& trustedNetworks() { return trustedNetworks_; }
    const TrustedNetworkTrigger& trustedNetworks() const { return trustedNetworks_; }
    LidLock& lidLock() { return lidLock_; }
    const LidLock& lidLock() const { return lidLock_; }
    ProfileLibrary& profileLibrary() { return profiles_; }
    const ProfileLibrary& profileLibrary() const { return profiles_; }
    /// The battery limits, the thermal kill switch and the heartbeat.
    SafetyGuards& safety() { return safety_; }
    const SafetyGuards& safety() const { return safety_; }
    /// The low-battery emergency, its alarm and the menu's Sleep now.
    LowBatteryEmergency& emergency() { return *emergency_; }
    const LowBatteryEmergency& emergency() const { return *emergency_; }

private:
    // What only the concerns ask for, through SessionControl.
    std::int64_t effectiveBatteryLimit() const override;  // AppStateEvaluation.cpp
    void publishSettingChanged(std::string_view key) override { settingChanged.emit(key); }
    void recordMonitorValues(const std::function<void(MonitorValues&)>& change) override { change(monitors_); }
    void replaceTrustedNetworks(std::vector<TrustedNetwork> networks) override;  // AppStateSettings.cpp
    void helperInstallFinished() override;
    // AppStateSession.cpp
    SessionSnapshot takeSessionSnapshot() const override;
    void restoreSessionSnapshot(const SessionSnapshot& snapshot) override;
    void suspendSession() override;
    bool resumeSuspendedSession() override;
    /// The running session as it is saved: now, the countdown's remaining time, reasons, profile.
    SavedSession currentSessionRecord() const;
    void saveActiveSession();
    // AppStateActivation.cpp
    /// Refuses a new session on battery below the effective limit, with the "battery-denied" notice.
    bool canActivate();
    void handleTimerExpired();
    // AppStateEvaluation.cpp
    /// After every decision: the thermal watch, the lid watch and the lid lock follow `reasons`.
    void followDecision(const ReasonSet& reasons);
    void applyState(bool active, const ReasonSet& reasons, std::optional<AssertionType> type);
    Result<void> ensureSleepPreventionActive(AssertionType type);
    void releaseEverything();
    void updateGuardian();
    void applyScreenSaverPrevention(bool wanted);
    void tellScreenSaverFailure();
    /// Holds nothing but keeps the request, tells the user once and schedules the retries.
    void enterPendingRequest(const std::string& error);
    void endPendingRequest();
    // AppStateSettings.cpp
    std::optional<SettingRefusal> commitSettings(SettingsValues next, const SettingMember& member);
    void runChangeHandling(const SettingDescriptor& row);
    void notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args = {});

    AppStateServices services_;
    Logger log_;
    Calendar calendar_;
    SettingsValues settings_;
    MonitorValues monitors_;
    // The concerns AppState delegates to; each reaches the session only through SessionControl.
    AutomationPause automationPause_;
    ProcessTrigger processTrigger_;
    TrustedNetworkTrigger trustedNetworks_;
    ProfileLibrary profiles_;
    LidLock lidLock_;
    SafetyGuards safety_;

    bool isActive_ = false;
    ReasonSet activeReasons_;
    std::optional<AssertionType> currentAssertionType_;
    std::optional<Uuid> activeProfileID_;
    bool isManuallyActivated_ = false;
    bool guardianRangeLogged_ = false;
    bool requestPending_ = false;
    bool screenSaverFailureTold_ = false;  // once until it works again or the session ends
    Timer pendingRetryTimer_;  // only while a request is pending
    /// The countdown's end and changes, the screen-saver failure, the guardian's reminder and answers.
    std::vector<Connection> serviceConnections_;
    /// Built after everything it reads and ended first; its requests out keep the session from holding.
    std::unique_ptr<LowBatteryEmergency> emergency_;
    Lifetime lifetime_;  // last: posted callbacks stop reaching the state before anything else goes
};

}  // namespace torvel
