#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Core/EmergencyPowerPolicy.h"
#include "Models/AutomationConsent.h"
#include "Models/SleepBlocker.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "State/SessionControl.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

class AudioFeedbackService;
class EmergencySleepService;
class EmergencyWorkRunner;
class LidLock;
class Localization;
class NotificationService;
class StayguardHelper;
class SleepBlockerMonitorProtocol;

/// The emergency alarm as the user can know it: silent, heard, or wanted but unable to play (no sound
/// server took it); the last is tried again while the emergency lasts.
enum class EmergencyAlarmStatus { off, sounding, unavailable };
/// "off", "sounding", "unavailable": what `torvel status --json` prints.
std::string_view toString(EmergencyAlarmStatus status);

/// What the emergency is built on. Everything is owned elsewhere and outlives it.
struct LowBatteryEmergencyServices {
    Clock& clock;
    Scheduler& scheduler;
    LogSink& log;
    Localization& texts;
    NotificationService& notifications;
    /// The alarm's sound; absent: the alarm is always unavailable.
    AudioFeedbackService* audio = nullptr;
    /// The helper's lid lock, let go before a sleep; absent: nothing to let go.
    LidLock* lidLock = nullptr;
    /// Tells whether a suspend would be refused before one is sent; absent: never known.
    StayguardHelper* stayguardHelper = nullptr;
    /// Where the blocking reads run; absent: a worker thread of its own, started when first needed.
    std::shared_ptr<EmergencyWorkRunner> work = nullptr;
    /// Installs the helper, whose polkit rule grants suspending; the answer comes back through
    /// handleHelperInstallFinished().
    std::function<void()> installHelper;
};

/// The low-battery emergency: while the battery runs down past its watch level it checks every minute,
/// and at its thresholds terminates what blocks the sleep and suspends, or sounds the alarm when it
/// cannot. It also carries out the menu's Sleep now on the same machinery. Every call to logind and
/// polkit runs on the worker; the main loop only decides. It reaches the session only through
/// SessionControl. Instants are seconds on the suspending clock. Main thread only.
class LowBatteryEmergency {
public:
    /// What the menu's sleep item can do now.
    enum class SleepNowReadiness { ready, sendPending, sleepVetoed };

    LowBatteryEmergency(SessionControl& session, LowBatteryEmergencyServices services);
    ~LowBatteryEmergency();
    LowBatteryEmergency(const LowBatteryEmergency&) = delete;
    LowBatteryEmergency& operator=(const LowBatteryEmergency&) = delete;

    /// Installs the census and the sleep service at launch; without both the emergency stays inert.
    void attach(SleepBlockerMonitorProtocol* blockerMonitor, EmergencySleepService* emergencySleep);
    /// The battery, the switch or the thresholds changed: arms the minute watchdog while the emergency
    /// is live, disarms it and resets the alarm's silence (and, on the charger, the cooldowns) when not.
    void updateWatchdog();
    /// One emergency reading: the census runs on the worker, the action is chosen back here.
    void checkPower(double now);
    /// The session woke: the alarm stops and set cooldowns count from `now`.
    void handleResume(double now);
    /// A helper installation ended: the permission is read again when the consent button asked for it.
    void handleHelperInstallFinished();

    /// What the emergency would do now with or without blockers.
    EmergencyPowerAction decideAction(bool hasBlockers, double now) const;
    /// The terminate threshold as the decision reads it: never above the sleep threshold.
    std::int64_t effectiveTerminateBlockersPercent() const;
    /// Whether the emergency is live: allowed to act, on battery, at or under its watch level. Read
    /// straight from the battery and the settings, so it is right inside their signals.
    bool isLive() const;
    bool isWatchdogArmed() const { return watchdogTimer_ != nullptr; }
    /// When the last emergency or manual sleep went through; the cooldown counts from here.
    std::optional<double> lastActionAt() const { return lastActionAt_; }
    /// When blockers were last terminated.
    std::optional<double> lastTerminateAt() const { return lastTerminateAt_; }
    /// Our own sleep request is out; while it is, the session keeps nothing awake.
    bool isSleepSendInFlight() const { return sleepSendInFlight_; }

    /// Asks for the alarm for `reason` when switched on, live, not silenced and not already sounding or
    /// starting. It counts as sounding only once the sound server took it; until then the status stays
    /// as it was, and a failure makes it unavailable (a critical notification goes out instead).
    void startAlarm(const std::string& reason);
    /// Stops the alarm that sounds, starts or could not play; `latch` keeps it off until this
    /// emergency ends. Nothing when no alarm is wanted.
    void stopAlarm(const std::string& reason, bool latch);
    /// The user silenced the alarm from the menu.
    void silenceAlarm() { stopAlarm("silenced by the user", true); }
    /// Whether the alarm is heard now.
    bool alarmActive() const { return alarmStatus_ == EmergencyAlarmStatus::sounding; }
    /// What the menu and the status show of the alarm.
    EmergencyAlarmStatus alarmStatus() const { return alarmStatus_; }

    /// The menu's Sleep now: with the user present, who may be asked for a password. Applications are
    /// never terminated from here: logind lets the user's own locks pass our Suspend anyway.
    void sleepNow(double now);
    SleepNowReadiness sleepNowReadiness() const;
    /// Re-reads the permission to sleep on the worker and publishes it.
    void refreshAutomationConsent();
    /// The last permission read published; granted until a read says otherwise.
    AutomationConsent automationConsent() const { return automationConsent_; }
    /// The settings' button for a missing permission: reads it afresh and, when it is still missing,
    /// installs the helper's polkit rule (which grants suspending), then reads it again.
    void resolveAutomationConsent();
    /// The blockers the last census found, for the menu.
    const std::vector<SleepBlocker>& lastSleepBlockers() const { return lastSleepBlockers_; }
    /// Takes a census and a veto reading in the background (the menu opening); `changed` tells a
    /// changed answer.
    void refreshSleepBlockers();

    /// Tells the menu of every change of the alarm, the consent, the readiness or the blockers.
    Signal<> changed;

private:
    /// Whether the system would carry out a suspend: allowed, allowed after a password (which only
    /// a user at the menu can type), refused, or not known.
    enum class SleepVeto { clear, challenge, vetoed, unknown };

    // LowBatteryEmergency.cpp: when it is live, the watchdog, the reading and the alarm.
    /// Charger, switch and collaborators allow an emergency at all.
    bool mayAct() const;
    const BatteryState& battery() const { return session_.monitorValues().batteryState; }
    void handleCensus(std::vector<SleepBlocker> census, double now);
    EmergencyWorkRunner& work();
    /// Hands the wanted alarm to the audio service; its answer comes back later.
    void requestAlarm();
    void handleAlarmOutcome(bool sounding);
    /// The watchdog's tick: an alarm that could not play is tried again while it is still wanted.
    void retryAlarm();

    // LowBatteryEmergencyEscalation.cpp: carrying out the chosen action, and Sleep now.
    void beginEscalation(EmergencyPowerAction action, double now);
    void escalateIfSleepCouldLand(EmergencyPowerAction action, std::optional<UnattendedSleepObstacle> obstacle,
                                  double now, std::uint64_t consentTicket);
    void escalate(EmergencyPowerAction action, SleepVeto veto, double now);
    void escalateWithCensus(EmergencyPowerAction action, SleepVeto veto, double now,
                            const std::vector<SleepBlocker>& census);
    /// Gives up this escalation: logs why, puts the lid lock back when asked, and sounds the alarm.
    void skipEscalation(const std::string& why, const std::string& alarmReason, bool restoreOverride);
    void sleepUnattended(double now, std::function<void(bool)> completion);
    bool applySleepOutcome(bool success, const SessionControl::SessionSnapshot& snapshot, double now);
    void sleepInteractively(double now);
    void abortOnSleepVeto();
    /// The lid lock comes back through a re-evaluation, where the helper holds one.
    void restoreSleepOverride();
    /// Asks the port; `done` on the main loop, only while the emergency exists.
    void readSleepVeto(std::function<void(SleepVeto)> done);
    void releaseSleepOverride();
    void publishConsent(AutomationConsent consent, std::uint64_t ticket);
    /// A sleep request is out, ours or the sleep service's.
    bool sleepRequestOut() const;
    /// Marks a request as out; the token is what endSleepSend wants to clear it.
    std::uint64_t beginSleepSend();
    /// Clears the flag only when `token`'s request is still the one that set it.
    void endSleepSend(std::uint64_t token);

    SessionControl& session_;
    LowBatteryEmergencyServices services_;
    Logger log_;
    SleepBlockerMonitorProtocol* blockerMonitor_ = nullptr;
    EmergencySleepService* emergencySleep_ = nullptr;
    Timer watchdogTimer_;
    std::optional<double> lastActionAt_;
    std::optional<double> lastTerminateAt_;

    EmergencyAlarmStatus alarmStatus_ = EmergencyAlarmStatus::off;
    /// A start is waiting for the sound server's answer.
    bool alarmStarting_ = false;
    /// Why the alarm is wanted, for the log of its outcome and its retries.
    std::string alarmReason_;
    bool alarmSilenced_ = false;

    /// Set from the census until the outcome, so readings never overlap.
    bool escalationInFlight_ = false;
    /// A sleep request is out; set and cleared only through beginSleepSend/endSleepSend, so each path
    /// clears only the request it sent.
    bool sleepSendInFlight_ = false;
    /// The token of the request that set sleepSendInFlight_; 0 when none is out.
    std::uint64_t sleepSendOwner_ = 0;
    std::uint64_t lastSleepSendToken_ = 0;

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

    /// The sleep service telling that an unattended request stalled.
    Connection stalledConnection_;
    Lifetime lifetime_;  // last: posted callbacks stop reaching the emergency before anything else goes
};

}  // namespace torvel
