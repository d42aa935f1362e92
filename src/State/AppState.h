#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
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
#include "Models/RunningAppInfo.h"
#include "Models/TrustedWiFiStatus.h"
#include "Models/WatchedApp.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/WiFi.h"
#include "Services/SessionPersistence.h"
#include "Services/StayguardServiceProtocol.h"
#include "State/MonitorValues.h"
#include "State/SessionControl.h"
#include "Support/Signal.h"

namespace torvel {

class AudioFeedbackService;
class BatteryMonitor;
class EmergencySleepService;
class EmergencyWorkRunner;
class PrivilegedPower;
class SleepBlockerMonitorProtocol;
class DefaultsStore;
class GuardianService;
class Localization;
class NotificationService;
class ProcessMonitor;
class SessionPersistence;
class SleepPreventionProtocol;
class StayguardServiceProtocol;
class ThermalMonitor;
class LidStateMonitor;
class LowPowerModeController;
class TimerManager;
class WiFiNetworkMonitor;

/// The emergency alarm as the user can know it: silent, heard, or wanted but unable to play (no sound
/// server took it); the last is tried again while the emergency lasts.
enum class EmergencyAlarmStatus { off, sounding, unavailable };
/// "off", "sounding", "unavailable": what `torvel status --json` prints.
std::string_view toString(EmergencyAlarmStatus status);

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
    /// Absent until the privileged helper is wired in.
    StayguardServiceProtocol* stayguard = nullptr;
    /// Absent without the helper: the power saver is then left alone.
    LowPowerModeController* lowPowerMode = nullptr;
    /// Where the low-battery emergency's blocking reads run; absent: a worker thread of its own.
    std::shared_ptr<EmergencyWorkRunner> emergencyWork = nullptr;
    /// Tells whether a suspend would be refused before one is sent; absent: never known.
    PrivilegedPower* privilegedPower = nullptr;
};

/// The one object that knows whether the computer is kept awake, why, and with which assertion.
/// No command changes the held assertion directly: each changes an input and calls
/// reevaluateState(), which recomputes the whole decision and applies it. Main thread only.
class AppState : public SessionControl {
public:
    enum class PauseMode { oneHour, untilMorning, indefinitely };

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
    const std::optional<Uuid>& activeProfileID() const { return activeProfileID_; }
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
    void activateProfile(const Profile& profile);
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
    /// The lid opened or closed: sets or clears the trusted-network latch and re-evaluates (AppStateLid.cpp).
    void handleLidStateChanged(bool closed);
    /// Tells `monitor` while lid changes matter (the trusted-network trigger is on); held weakly.
    void attachLidMonitor(LidStateMonitor& monitor);
    Signal<> batteryStateChanged;

    // Display triggers (AppStateDisplays.cpp).
    /// The display monitor's answer: more than one screen is attached.
    void handleExternalDisplayChanged(bool hasExternalDisplay);
    /// The mirroring monitor's answer: some online display is part of a mirror.
    void handleMirroringChanged(bool isMirroring);

    // Automation pause (AppStatePause.cpp).
    const std::optional<Date>& automationPausedUntil() const { return automationPausedUntil_; }
    void pauseAutomation(PauseMode mode);
    void resumeAutomation();
    /// Tells observers that a pause began or ended (by the user or at its end).
    Signal<> automationPauseChanged;
    /// Lifts a pause because the user explicitly asked for automatic keep-awake.
    void overrideAutomationPauseForExplicitKeepAwake();
    /// The next 07:00 strictly after `date`.
    static Date nextMorning(Date date, const Calendar& calendar);

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

    // Inputs owned by later subsystems.
    // Profiles (AppStateProfiles.cpp). Every assignment of the list stores it whole.
    const std::vector<Profile>& profiles() const { return profiles_; }
    void setProfiles(std::vector<Profile> profiles);
    /// Ends the session when `profile` runs, else starts it.
    void toggleProfile(const Profile& profile);
    /// Appends a copy under a unique name and returns it.
    Profile duplicateProfile(const Profile& profile);
    /// Replaces the profile with the same id in place, or appends a new one.
    void saveEditedProfile(const Profile& profile);
    /// Removes the profile; a session it runs goes on under the global battery limit.
    void deleteProfile(const Uuid& id);
    /// The first profile whose stored name, key or shown name equals `name` exactly.
    const Profile* profileNamed(std::string_view name) const;
    Signal<> profilesChanged;
    const MonitorValues& monitorValues() const override { return monitors_; }
    /// Records new monitor readings and re-evaluates.
    void updateMonitorValues(const std::function<void(MonitorValues&)>& change);
    /// True when some trusted network names the same network as `ssid` (compared as canonicalSSID(), so
    /// case and spaces count).
    bool isTrustedSSID(const std::string& ssid) const;
    bool isHeartbeatRunning() const { return heartbeatTimer_ != nullptr; }
    /// Installed by the battery monitor wiring: minutes until the charge reaches a percentage.
    void setMinutesUntilThresholdProvider(std::function<std::optional<std::int64_t>(std::int64_t)> provider) {
        minutesUntilThresholdProvider_ = std::move(provider);
    }
    /// Refreshes and forecasts through `monitor` while it exists; replaces earlier closures.
    void attachBatteryMonitor(BatteryMonitor& monitor);

    // Trusted Wi-Fi (AppStateWiFi.cpp).
    /// Stores the list whole, ends a lid latch whose network is no longer trusted and re-evaluates. A
    /// list the store refuses stays in memory and is written again at the next change.
    void setTrustedNetworks(std::vector<TrustedNetwork> networks);
    /// Adds `ssid` to the trusted list; false, changing nothing, when it is empty or already trusted.
    bool addTrustedSSID(const std::string& ssid);
    /// Installed by the Wi-Fi wiring: a forced refresh of the current network.
    void setWiFiStateRefresher(std::function<void()> refresher) {
        wifiStateRefresher_ = std::move(refresher);
    }
    /// Refreshes through `monitor` while it exists; replaces an earlier refresher.
    void attachWiFiMonitor(WiFiNetworkMonitor& monitor);
    /// A new Wi-Fi reading with the names of all connected networks: records it, logs a change of
    /// network and re-evaluates. Any trusted network among them keeps the computer awake.
    void handleWiFiStateChanged(bool connected, std::vector<std::string> ssids,
                                WiFiAuthorization authorization);
    /// The same for a machine on at most one network.
    void handleWiFiStateChanged(bool connected, const std::optional<std::string>& ssid,
                                WiFiAuthorization authorization) {
        handleWiFiStateChanged(connected, ssid ? std::vector{*ssid} : std::vector<std::string>{},
                               authorization);
    }
    /// A Wi-Fi reading changed what trustedWiFiStatus() answers (the network, the connection or the
    /// permission), whether or not activation follows.
    Signal<> wifiStateChanged;
    /// The current network and whether it is trusted, as the menu and the settings window show it.
    TrustedWiFiStatus trustedWiFiStatus() const;
    /// The status as text: the menu's line, or the settings window's when `forMenu` is false.
    std::string trustedWiFiStatusText(bool forMenu) const;
    /// Re-reads the current network through the installed refresher (the menu opening); none: nothing.
    void refreshWiFiState() {
        if (wifiStateRefresher_) wifiStateRefresher_();
    }

    // Process trigger (AppStateProcesses.cpp).
    /// The applications the user keeps the computer awake for. Every assignment stores the list whole,
    /// hands the watched bundle ids on and re-evaluates.
    const std::vector<WatchedApp>& watchedApps() const { return watchedApps_; }
    void setWatchedApps(std::vector<WatchedApp> apps);
    /// Bumped on every launch or termination the process monitor notices, so lists refresh.
    std::uint64_t runningAppsRevision() const { return runningAppsRevision_; }
    Signal<> runningAppsChanged;
    /// How the state reaches the process monitor; an empty closure is skipped.
    struct ProcessHooks {
        std::function<void(std::set<std::string>)> setWatched;
        std::function<void(std::optional<std::int32_t>)> watchTransientPID;
        std::function<void(std::optional<std::string>)> watchTransientBundle;
        std::function<std::vector<RunningAppInfo>()> runningApps;
    };
    void setProcessHooks(ProcessHooks hooks) { processHooks_ = std::move(hooks); }
    /// Wires `monitor` both ways (each side holding the other weakly), hands it the watched bundle ids
    /// and takes over its current state. Replaces an earlier monitor.
    void attachProcessMonitor(ProcessMonitor& monitor);
    /// Unwires the attached monitor (if it still exists), drops the hooks and stops counting the
    /// trigger as active.
    void detachProcessMonitor();
    /// Hands the monitor the watched bundle ids: none while the process trigger is switched off.
    void pushWatchedBundleIDs();
    /// The visible running applications, sorted by name; empty without a monitor.
    std::vector<RunningAppInfo> runningApplications() const;
    /// A view shows the running applications while `shown`: the process monitor then follows launches
    /// and exits for it (runningAppsChanged), as it does otherwise only while something is watched.
    void setRunningAppsShown(bool shown);
    /// Keeps the computer awake until process `pid` exits; std::nullopt ends the transient watch.
    void watchTransientPID(std::optional<std::int32_t> pid);
    /// Keeps the computer awake while `bundleID` runs; std::nullopt ends that watch.
    void watchTransientBundle(std::optional<std::string> bundleID);

    // The privileged helper and the power saver (AppStateStayguard.cpp).
    /// Installs the helper in the background; ignored while an installation runs.
    void installStayguard();
    bool isStayguardInstallInProgress() const { return stayguardInstallInProgress_; }
    /// Absent before the first installation of this run ends.
    const std::optional<StayguardInstallResult>& lastStayguardInstallResult() const {
        return lastStayguardInstallResult_;
    }
    bool isStayguardInstalled() const;
    /// Which of the helper's permissions are granted; none without the helper.
    PowerGrants stayguardGrants() const;
    /// Other processes that hold the lid switch and decide alone what a closed lid does, as last read;
    /// std::nullopt when not read (or not readable).
    std::optional<std::vector<LidHolder>> otherLidHolders() const;
    /// Reads them afresh (where the lid matters: the settings opening); stayguardChanged follows.
    void checkLidHolders();
    /// The helper's installation status changed: views are told and the lid lock follows it.
    void handleStayguardInstallationChanged();
    /// Quitting: the power saver and the lid lock this run switched on are switched off.
    void handleAppTerminate();
    /// Tells views of every change of the helper's status or installation.
    Signal<> stayguardChanged;

private:
    /// The lid lock follows the final reasons of every re-evaluation (AppStateStayguard.cpp).
    void applyClamshellDefeat(const ReasonSet& reasons);
    /// The lid-close sound, once it is known that no other process decides what the lid does.
    void confirmLidClose();
    bool stayguardInstallInProgress_ = false;
    std::optional<StayguardInstallResult> lastStayguardInstallResult_;

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
    const Profile* profileWithID(const std::optional<Uuid>& id) const;
    // AppStateSafety.cpp
    void applyStopDecision(const StopCause& cause);
    void suspendCurrentSession();
    void checkPredictiveWarning();
    // AppStateThermal.cpp
    bool refreshThermalBeforeActivation(const PriorityDecision& decision);
    void updateThermalWatch();
    void updateLidWatch();
    // AppStateSession.cpp
    bool resumeSuspendedSession();
    // AppStateProfiles.cpp
    void loadProfileList();
    // AppStateSettings.cpp
    template <typename T>
    std::optional<SettingRefusal> assignSetting(T SettingsValues::*member, T value);
    std::optional<SettingRefusal> commitSettings(SettingsValues next, const SettingMember& member);
    void runChangeHandling(const SettingDescriptor& row);
    void clearTrustedNetworkLatch();
    /// currentSSID from connectedSSIDs and the trusted list.
    std::optional<std::string> chooseCurrentSSID() const;
    // AppStateProcesses.cpp
    void loadWatchedApps();
    void unwireProcessMonitor();
    // AppStatePause.cpp
    void restoreAutomationPause();
    void persistAutomationPause();
    void rescheduleAutomationPauseExpiry();
    // AppStateHeartbeat.cpp
    void startHeartbeat();
    void stopHeartbeat();
    void heartbeatTick();

    void notify(const std::string& id, const std::string& bodyKey, const std::vector<long long>& args = {});

    AppStateServices services_;
    Logger log_;
    Calendar calendar_;
    SettingsValues settings_;
    std::vector<Profile> profiles_;
    /// The stored list could not be read in full nor kept aside: saving over it would lose profiles.
    bool profilesSaveBlocked_ = false;
    MonitorValues monitors_;

    bool isActive_ = false;
    ReasonSet activeReasons_;
    std::optional<AssertionType> currentAssertionType_;
    std::optional<Uuid> activeProfileID_;
    bool isManuallyActivated_ = false;
    bool predictiveWarningSent_ = false;
    /// A sleep request is out; while set, re-evaluation keeps nothing awake. Set and cleared only
    /// through beginSleepSend/endSleepSend, so each path clears only the request it sent.
    bool sleepSendInFlight_ = false;
    /// The token of the request that set sleepSendInFlight_; 0 when none is out.
    std::uint64_t sleepSendOwner_ = 0;
    std::uint64_t lastSleepSendToken_ = 0;
    bool previouslyOnBattery_ = false;
    bool guardianRangeLogged_ = false;
    bool requestPending_ = false;
    // Told once until the prevention works again or the session ends, not on every re-evaluation.
    bool screenSaverFailureTold_ = false;
    std::uint64_t localizationRevision_ = 0;

    std::optional<Date> automationPausedUntil_;
    Timer automationPauseExpiryTimer_;
    Timer heartbeatTimer_;
    /// Closed-lid ticks since the pips (re)started; the pips thin out as it grows.
    std::int64_t heartbeatPipTickIndex_ = 0;
    /// Exists only while a request is pending.
    Timer pendingRetryTimer_;
    std::function<std::optional<std::int64_t>(std::int64_t)> minutesUntilThresholdProvider_;
    std::function<void()> wifiStateRefresher_;
    std::function<void()> batteryStateRefresher_;
    std::vector<WatchedApp> watchedApps_;
    std::uint64_t runningAppsRevision_ = 0;
    bool runningAppsShown_ = false;
    ProcessHooks processHooks_;
    std::weak_ptr<ProcessMonitor> processMonitor_;
    std::vector<Connection> processMonitorConnections_;
    std::weak_ptr<ThermalMonitor> thermalMonitor_;
    std::weak_ptr<LidStateMonitor> lidMonitor_;
    /// Set during the reading before an activation, so the re-evaluation it causes reads no more.
    bool refreshingThermal_ = false;
    Connection timerConnection_;
    /// Posted callbacks check this before touching a state that may be gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    // The low-battery emergency (AppStateEmergency.cpp). Instants are seconds on the suspending clock.
public:
    /// Installs the census and the sleep service at launch; without both the emergency stays inert.
    void attachEmergencyPower(SleepBlockerMonitorProtocol* blockerMonitor, EmergencySleepService* emergencySleep);
    /// One emergency reading: the census runs on the worker, the action is chosen back here.
    void checkEmergencyPower(double now);
    /// What the emergency would do now with or without blockers.
    EmergencyPowerAction decideEmergencyAction(bool hasBlockers, double now) const;
    /// The terminate threshold as the decision reads it: never above the sleep threshold.
    std::int64_t effectiveTerminateBlockersPercent() const;
    /// The session woke: the alarm stops and set cooldowns count from `now`.
    void handleSystemDidWake(double now);
    /// Asks for the alarm for `reason` when switched on, live, not silenced and not already sounding or
    /// starting. It counts as sounding only once the sound server took it; until then the status stays
    /// as it was, and a failure makes it unavailable (a critical notification goes out instead).
    void startEmergencyAlarm(const std::string& reason);
    /// Stops the alarm that sounds, starts or could not play; `latch` keeps it off until this
    /// emergency ends. Nothing when no alarm is wanted.
    void stopEmergencyAlarm(const std::string& reason, bool latch);
    /// The user silenced the alarm from the menu.
    void silenceEmergencyAlarm() { stopEmergencyAlarm("silenced by the user", true); }
    /// Whether the alarm is heard now.
    bool emergencyAlarmActive() const { return emergencyAlarmStatus_ == EmergencyAlarmStatus::sounding; }
    /// What the menu and the status show of the alarm.
    EmergencyAlarmStatus emergencyAlarmStatus() const { return emergencyAlarmStatus_; }
    bool isEmergencyWatchdogArmed() const { return emergencyWatchdogTimer_ != nullptr; }
    /// Whether the low-battery emergency is live: allowed to act, on battery, at or under its watch
    /// level. Read straight from the battery and the settings, so it is right inside their signals.
    bool emergencyIsLive() const;
    /// When the last emergency or manual sleep went through; the cooldown counts from here.
    std::optional<double> lastEmergencyActionAt() const { return lastEmergencyActionAt_; }
    /// When blockers were last terminated.
    std::optional<double> lastTerminateAt() const { return lastTerminateAt_; }
    /// Tells the menu of every change of the alarm, the consent, the readiness or the blockers.
    Signal<> emergencyChanged;

    // Carrying out the chosen action, and the menu's sleep commands (AppStateEscalation.cpp).
    /// Whether the system would carry out a suspend: allowed, allowed after a password (which only
    /// a user at the menu can type), refused, or not known.
    enum class SleepVeto { clear, challenge, vetoed, unknown };
    /// What the menu's sleep item can do now.
    enum class SleepNowReadiness { ready, sendPending, sleepVetoed };
    /// The menu's Sleep now: with the user present, who may be asked for a password. Every call to
    /// logind and polkit runs on the worker; the main loop only decides. Applications are never
    /// terminated from here: logind lets the user's own locks pass our Suspend anyway.
    void sleepNow(double now);
    SleepNowReadiness sleepNowReadiness() const;
    /// Re-reads the permission to sleep on the worker and publishes it; also re-reads the veto.
    void refreshAutomationConsent();
    /// The last permission read published; granted until a read says otherwise.
    AutomationConsent automationConsent() const { return automationConsent_; }
    /// The settings' button for a missing permission: reads it afresh and, when it is still missing,
    /// installs the helper's polkit rule (which grants suspending), then reads it again.
    void resolveAutomationConsent();
    /// The blockers the last census found, for the menu.
    const std::vector<SleepBlocker>& lastSleepBlockers() const { return lastSleepBlockers_; }
    /// Takes a census and a veto reading in the background (the menu opening); emergencyChanged tells
    /// a changed answer.
    void refreshSleepBlockers();

private:
    struct SessionSnapshot {
        std::optional<SavedSession> active;
        std::optional<SavedSession> suspended;
    };
    void beginEscalation(EmergencyPowerAction action, double now);
    void escalateIfSleepCouldLand(EmergencyPowerAction action, std::optional<UnattendedSleepObstacle> obstacle,
                                  double now, std::uint64_t consentTicket);
    void escalate(EmergencyPowerAction action, SleepVeto veto, double now);
    void escalateWithCensus(EmergencyPowerAction action, SleepVeto veto, double now,
                            const std::vector<SleepBlocker>& census);
    /// Gives up this escalation: logs why, puts the lid lock back when asked, and sounds the alarm.
    void skipEscalation(const std::string& why, const std::string& alarmReason, bool restoreOverride);
    void sleepUnattended(double now, std::function<void(bool)> completion);
    bool applySleepOutcome(bool success, const SessionSnapshot& snapshot, double now);
    void sleepInteractively(double now);
    void abortOnSleepVeto();
    /// Asks the port; `done` on the main loop, only while the state exists.
    void readSleepVeto(std::function<void(SleepVeto)> done);
    void releaseSleepOverride();
    void publishConsent(AutomationConsent consent, std::uint64_t ticket);
    SessionSnapshot takeSessionSnapshot();
    /// A sleep request is out, ours or the sleep service's.
    bool sleepRequestOut() const;
    /// Marks a request as out; the token is what endSleepSend wants to clear it.
    std::uint64_t beginSleepSend();
    /// Clears the flag only when `token`'s request is still the one that set it.
    void endSleepSend(std::uint64_t token);

    /// Arms the minute watchdog while the emergency is live, disarms and resets when it ends.
    void updateEmergencyWatchdog();
    /// Charger, switch and collaborators allow an emergency at all.
    bool emergencyMayAct() const;
    void handleEmergencyCensus(std::vector<SleepBlocker> census, double now);
    EmergencyWorkRunner& emergencyWork();
    /// Hands the wanted alarm to the audio service; its answer comes back later.
    void requestEmergencyAlarm();
    void handleEmergencyAlarmOutcome(bool sounding);
    /// The watchdog's tick: an alarm that could not play is tried again while it is still wanted.
    void retryEmergencyAlarm();

    SleepBlockerMonitorProtocol* sleepBlockerMonitor_ = nullptr;
    EmergencySleepService* emergencySleep_ = nullptr;
    Timer emergencyWatchdogTimer_;
    std::optional<double> lastEmergencyActionAt_;
    std::optional<double> lastTerminateAt_;
    EmergencyAlarmStatus emergencyAlarmStatus_ = EmergencyAlarmStatus::off;
    /// A start is waiting for the sound server's answer.
    bool emergencyAlarmStarting_ = false;
    /// Why the alarm is wanted, for the log of its outcome and its retries.
    std::string emergencyAlarmReason_;
    bool emergencyAlarmSilenced_ = false;
    /// Set from the census until the outcome, so readings never overlap.
    bool emergencyEscalationInFlight_ = false;
    std::uint64_t latestConsentReadTicket_ = 0;
    std::uint64_t publishedConsentReadTicket_ = 0;
    AutomationConsent automationConsent_ = AutomationConsent::granted;
    bool isRefreshingConsent_ = false;
    /// A rule installation asked for by resolveAutomationConsent; the permission is read again after it.
    bool consentAwaitsInstall_ = false;
    bool isRefreshingBlockers_ = false;
    /// The last veto read; the menu offers the sleep unless it said vetoed.
    SleepVeto lastSleepVeto_ = SleepVeto::unknown;
    std::vector<SleepBlocker> lastSleepBlockers_;
};

}  // namespace torvel
