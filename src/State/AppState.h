#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Core/EmergencyPowerPolicy.h"
#include "Core/PriorityChain.h"
#include "Core/Settings.h"
#include "Core/SettingsValues.h"
#include "Models/BatteryState.h"
#include "Models/AutomationConsent.h"
#include "Models/Calendar.h"
#include "Models/Duration.h"
#include "Models/Profile.h"
#include "Models/SleepBlocker.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Services/SessionPersistence.h"
#include "Services/StayguardServiceProtocol.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "State/Lid/LidLock.h"
#include "State/MonitorValues.h"
#include "State/Network/TrustedNetworkTrigger.h"
#include "State/Pause/AutomationPause.h"
#include "State/Processes/ProcessTrigger.h"
#include "State/Profiles/ProfileLibrary.h"
#include "State/SessionControl.h"
#include "Support/Signal.h"

namespace torvel {

class AudioFeedbackService;
class BatteryMonitor;
class EmergencyWorkRunner;
class StayguardHelper;
class DefaultsStore;
class GuardianService;
class Localization;
class NotificationService;
class SessionPersistence;
class SleepPreventionProtocol;
class StayguardServiceProtocol;
class ThermalMonitor;
class LowPowerModeController;
class TimerManager;

/// What AppState is built on. Everything is owned elsewhere and outlives the state.
struct AppStateServices {
    Clock& clock;
    Scheduler& scheduler;
    LogSink& log;
    Localization& texts;
    DefaultsStore& defaults;
    SleepPreventionProtocol& sleepPrevention;
    TimerManager& timerManager;
    NotificationService& notifications;
    SessionPersistence& sessions;
    GuardianService& guardian;
    /// The lid-close sound and the heartbeat's pip; absent: silence.
    AudioFeedbackService* audio = nullptr;
    /// Absent until the Stayguard helper is wired in.
    StayguardServiceProtocol* stayguard = nullptr;
    /// Absent without the helper: the power saver is then left alone.
    LowPowerModeController* lowPowerMode = nullptr;
    /// Where the low-battery emergency's blocking reads run; absent: a worker thread of its own.
    std::shared_ptr<EmergencyWorkRunner> emergencyWork = nullptr;
    /// Tells whether a suspend would be refused before one is sent; absent: never known.
    StayguardHelper* stayguardHelper = nullptr;
};

/// The one object that knows whether the computer is kept awake, why, and with which assertion.
/// No command changes the held assertion directly: each changes an input and calls
/// reevaluateState(), which recomputes the whole decision and applies it. Main thread only.
class AppState : public SessionControl {
public:
    /// Loads every setting, switches the texts to the stored language and restores a stored
    /// automation pause.
    explicit AppState(AppStateServices services, Calendar calendar = Calendar::current());
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Published activation state; `activationChanged` tells observers of every change.
    bool isActive() const override { return isActive_; }
    const ReasonSet& activeReasons() const override { return activeReasons_; }
    std::optional<AssertionType> currentAssertionType() const { return currentAssertionType_; }
    const std::optional<Uuid>& activeProfileID() const override { return activeProfileID_; }
    bool isManuallyActivated() const { return isManuallyActivated_; }
    /// The decision wants the computer kept awake but the desktop refused the assertion: nothing is
    /// held, activeReasons and currentAssertionType describe the session waiting for it, and it is
    /// retried every 30 s and whenever an inhibit service appears.
    bool isRequestPending() const { return requestPending_; }
    Signal<> activationChanged;

    // Commands (AppStateActivation.cpp).
    /// A click on the tray icon: start or end a session by hand, or pause the automatic triggers when
    /// only they keep the computer awake.
    void toggle();
    void activate(const Duration& duration);
    /// Starts a session from `profile`: its duration, assertion type and battery limit.
    void activateProfile(const Profile& profile) override;
    /// Ends all user-started activity; automatic reasons that still hold keep the computer awake.
    void deactivateAll() override;
    /// Refuses a new session on battery below the effective limit, with the "battery-denied" notice.
    bool canActivate();
    void handleTimerExpired();

    // The decision (AppStateEvaluation.cpp).
    void reevaluateState() override;
    /// An inhibit service appeared on or left the bus: a pending request is retried at once.
    void handleInhibitServicesChanged();
    PriorityChainInput makePriorityChainInput() const;
    /// The active profile's override, else the global limit when enabled; 0 means none.
    std::int64_t effectiveBatteryLimit() const;

    // Saved sessions (AppStateSession.cpp).
    /// Brings a saved session back: its remaining time, its manual flag and its profile, then
    /// re-evaluates. False, changing nothing, when its timed part has run out.
    bool restoreSession(const SavedSession& saved);
    /// Puts a snapshot back: the suspended record is written, the active one restored.
    void restoreSessions(const std::optional<SavedSession>& active,
                         const std::optional<SavedSession>& suspended);

    // Monitor entry points (AppStateSafety.cpp).
    /// A new power-source reading: limits, resume on the charger, the predictive warning.
    void handleBatteryStateChanged(const BatteryState& state);
    /// A new thermal state: the kill switch, the throttle notice, resume when the heat is gone.
    void handleThermalStateChanged(ThermalState state);
    const BatteryState& batteryState() const { return monitors_.batteryState; }
    /// Reads through `monitor` once before each activation and tells it while the kill switch needs
    /// fresh readings; it holds the monitor weakly. Replaces an earlier monitor.
    void attachThermalMonitor(ThermalMonitor& monitor);
    /// The lid opened or closed: sets or clears the trusted-network latch, tells the lid lock and
    /// re-evaluates (AppStateLid.cpp).
    void handleLidStateChanged(bool closed);
    Signal<> batteryStateChanged;

    // Display triggers (AppStateDisplays.cpp).
    /// The display monitor's answer: more than one screen is attached.
    void handleExternalDisplayChanged(bool hasExternalDisplay);
    /// The mirroring monitor's answer: some online display is part of a mirror.
    void handleMirroringChanged(bool isMirroring);

    // Settings (AppStateSettings.cpp). Every assignment stores, publishes and then runs the
    // setting's change handling, also when the value is unchanged. A value the store cannot write
    // changes nothing and comes back as a notSaved refusal naming the file and the reason.
    const SettingsValues& settings() const override { return settings_; }
    std::optional<SettingRefusal> set(bool SettingsValues::*member, bool value);
    std::optional<SettingRefusal> set(std::int64_t SettingsValues::*member, std::int64_t value);
    std::optional<SettingRefusal> set(float SettingsValues::*member, float value);
    std::optional<SettingRefusal> set(AssertionType SettingsValues::*member, AssertionType value);
    std::optional<SettingRefusal> set(AppLanguage SettingsValues::*member, AppLanguage value);
    /// Sets a scalar setting from text, typed by the settings table: a badInput refusal (and no
    /// change) for an unknown key, a value of the wrong kind or out of range; notSaved as for set().
    std::optional<SettingRefusal> setSettingFromText(std::string_view key, std::string_view text);
    /// The texts in the user's language.
    const Localization& texts() const { return services_.texts; }
    /// Tells observers the key of every assigned setting.
    Signal<std::string_view> settingChanged;
    /// Bumped when the texts must be drawn again in another language (the system locale changed).
    std::uint64_t localizationRevision() const { return localizationRevision_; }
    /// Follows a change of the system's language: with the language setting on "system" the texts are
    /// reloaded and localizationRevision bumped; an explicit language stays as it is.
    void handleLocaleChanged();

    const MonitorValues& monitorValues() const override { return monitors_; }
    /// Records new monitor readings and re-evaluates.
    void updateMonitorValues(const std::function<void(MonitorValues&)>& change) override;
    bool isHeartbeatRunning() const { return heartbeatTimer_ != nullptr; }
    /// Installed by the battery monitor wiring: minutes until the charge reaches a percentage.
    void setMinutesUntilThresholdProvider(std::function<std::optional<std::int64_t>(std::int64_t)> provider) {
        minutesUntilThresholdProvider_ = std::move(provider);
    }
    /// Refreshes and forecasts through `monitor` while it exists; replaces earlier closures.
    void attachBatteryMonitor(BatteryMonitor& monitor);

    /// Quitting: the alarm stops; the power saver and the lid lock this run switched on are switched off.
    void handleAppTerminate();

    // The concerns AppState delegates to, each a class of its own (State/*/), owned here.
    /// The user's pause of the automatic triggers.
    AutomationPause& automationPause() { return automationPause_; }
    const AutomationPause& automationPause() const { return automationPause_; }
    /// The process trigger: watched applications and the process monitor.
    ProcessTrigger& processTrigger() { return processTrigger_; }
    const ProcessTrigger& processTrigger() const { return processTrigger_; }
    /// The trusted Wi-Fi trigger with its lid latch.
    TrustedNetworkTrigger& trustedNetworks() { return trustedNetworks_; }
    const TrustedNetworkTrigger& trustedNetworks() const { return trustedNetworks_; }
    /// The helper's lid lock, the power saver with the lid, and the helper's installation.
    LidLock& lidLock() { return lidLock_; }
    const LidLock& lidLock() const { return lidLock_; }
    /// The profile list and its commands.
    ProfileLibrary& profileLibrary() { return profiles_; }
    const ProfileLibrary& profileLibrary() const { return profiles_; }

private:
    // What only the concerns ask for, through SessionControl.
    void publishSettingChanged(std::string_view key) override { settingChanged.emit(key); }
    void recordMonitorValues(const std::function<void(MonitorValues&)>& change) override {
        change(monitors_);
    }
    void replaceTrustedNetworks(std::vector<TrustedNetwork> networks) override {
        settings_.trustedNetworks = std::move(networks);
    }
    void helperInstallFinished() override;

    // AppStateEvaluation.cpp
    void applyState(bool active, const ReasonSet& reasons, std::optional<AssertionType> type);
    bool ensureSleepPreventionActive(AssertionType type, std::string* error);
    void releaseEverything();
    void saveActiveSession();
    /// The running session as it is saved: now, the countdown's remaining time, reasons, profile.
    SavedSession currentSessionRecord() const;
    void updateGuardian();
    void applyScreenSaverPrevention(bool wanted);
    void tellScreenSaverFailure();
    /// Holds nothing but keeps the request, tells the user once and schedules the retries.
    void enterPendingRequest(const std::string& error);
    void endPendingRequest();
    // AppStateSafety.cpp
    void applyStopDecision(const StopCause& cause);
    void suspendCurrentSession();
    void checkPredictiveWarning();
    // AppStateThermal.cpp
    bool refreshThermalBeforeActivation(const PriorityDecision& decision);
    void updateThermalWatch();
    // AppStateSession.cpp
    bool resumeSuspendedSession();
    // AppStateSettings.cpp
    template <typename T>
    std::optional<SettingRefusal> assignSetting(T SettingsValues::*member, T value);
    std::optional<SettingRefusal> commitSettings(SettingsValues next, const SettingMember& member);
    void runChangeHandling(const SettingDescriptor& row);
    // AppStateHeartbeat.cpp
    void startHeartbeat();
    void stopHeartbeat();
    void heartbeatTick();

    void notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args = {});

    AppStateServices services_;
    Logger log_;
    Calendar calendar_;
    SettingsValues settings_;
    MonitorValues monitors_;
    // The concerns AppState delegates to; each reaches the session only through SessionControl.
    AutomationPause automationPause_{*this, services_.clock, services_.scheduler, services_.defaults,
                                     calendar_};
    ProcessTrigger processTrigger_{*this, services_.clock, services_.defaults, services_.log};
    TrustedNetworkTrigger trustedNetworks_{*this, services_.clock, services_.defaults, services_.texts,
                                           services_.log};
    ProfileLibrary profiles_{*this, services_.clock, services_.defaults, services_.texts, services_.log};
    LidLock lidLock_{*this,
                     {services_.stayguard, services_.lowPowerMode, services_.audio},
                     services_.notifications,
                     services_.texts,
                     services_.log};

    bool isActive_ = false;
    ReasonSet activeReasons_;
    std::optional<AssertionType> currentAssertionType_;
    std::optional<Uuid> activeProfileID_;
    bool isManuallyActivated_ = false;
    bool predictiveWarningSent_ = false;
    bool previouslyOnBattery_ = false;
    bool guardianRangeLogged_ = false;
    bool requestPending_ = false;
    // Told once until the prevention works again or the session ends, not on every re-evaluation.
    bool screenSaverFailureTold_ = false;
    std::uint64_t localizationRevision_ = 0;

    Timer heartbeatTimer_;
    /// Closed-lid ticks since the pips (re)started; the pips thin out as it grows.
    std::int64_t heartbeatPipTickIndex_ = 0;
    /// Exists only while a request is pending.
    Timer pendingRetryTimer_;
    std::function<std::optional<std::int64_t>(std::int64_t)> minutesUntilThresholdProvider_;
    std::function<void()> batteryStateRefresher_;
    std::weak_ptr<ThermalMonitor> thermalMonitor_;
    /// Set during the reading before an activation, so the re-evaluation it causes reads no more.
    bool refreshingThermal_ = false;
    Connection timerConnection_;
    /// The services' events: the countdown's end, the screen-saver failure, the guardian's reminder and
    /// its answers.
    std::vector<Connection> serviceConnections_;
    /// Posted callbacks check this before touching a state that may be gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    // The low-battery emergency (State/Emergency/), its alarm and the menu's Sleep now.
public:
    /// The emergency this state owns; the menu, the status and the wake handling reach it here.
    LowBatteryEmergency& emergency() { return *emergency_; }
    const LowBatteryEmergency& emergency() const { return *emergency_; }
    /// The stored records, for the emergency's sleep to put back when it fails.
    SessionSnapshot takeSessionSnapshot() const override;
    /// Writes the suspended record and restores the active session, as restoreSessions().
    void restoreSessionSnapshot(const SessionSnapshot& snapshot) override;

private:
    /// Built after everything it reads and ended first; its requests out keep the session from holding.
    std::unique_ptr<LowBatteryEmergency> emergency_;
};

}  // namespace torvel
