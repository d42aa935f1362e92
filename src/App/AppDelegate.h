#pragma once

#include <signal.h>

#include <QDBusConnection>
#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <string>
#include <string_view>

#include "Models/Calendar.h"
#include "Platform/Log.h"
#include "Support/Signal.h"
#include "Views/TrayController.h"

namespace torvel {

class AppState;
class BatteryMonitor;
class Clock;
class DefaultsStore;
class DefaultsSessionPersistence;
class DisplayConfiguration;
class AssertionTable;
class AudioFeedbackService;
class EmergencySleepService;
class ProcessControl;
class ProcessInfo;
class SessionAutomation;
class SessionRelays;
class SimAssertionTable;
class SimProcessControl;
class SimProcessInfo;
class SimSessionAutomation;
class SleepBlockerMonitor;
class DisplayMonitor;
class GuardianService;
class Lid;
class LidStateMonitor;
class Localization;
class LoginItem;
class LoginItemService;
class LowPowerMode;
class LowPowerModeController;
class PrivilegedPower;
class ProcessRunner;
class SimLowPowerMode;
class SimPrivilegedPower;
class StayguardService;
class MirroringMonitor;
class NotificationCenter;
class OnboardingHint;
class NotificationService;
class PowerAssertions;
class PowerSources;
class Screens;
class Sounds;
class ProcessMonitor;
class Workspace;
class Scheduler;
class SimDisplayConfiguration;
class SimLid;
class SimPowerAssertions;
class SimPowerSources;
class SimThermal;
class SimScreens;
class SimSounds;
class SimWiFi;
class SimWorkspace;
class SleepPreventionService;
class SystemLocale;
class SystemSleepEvents;
class Thermal;
class ThermalMonitor;
class TimerManager;
class TrayFace;
class WallClockChanges;
class WiFi;
class WiFiNetworkMonitor;
class URLCommandRouter;

/// The composition root: builds the machine's adapters, the services and the application state in the
/// start-up order, and runs the quit path. Main thread only; needs a QCoreApplication.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    /// The machine Torvel talks to: the real desktop, or the simulated one (for tests and demos; the
    /// defaults still go to the real file so that a restart keeps the session).
    enum class Machine { desktop, simulated };

    /// Builds everything up to, not including, the restore of the saved session. `withDisplay`: a
    /// QGuiApplication runs, so the screens come from Qt (and under X11 mirroring from RandR) instead
    /// of the graphics cards.
    explicit AppDelegate(Machine machine, bool withDisplay = false);
    ~AppDelegate() override;

    /// The last start-up steps, once the instance is reachable: brings back the session that ran when
    /// Torvel last stopped and starts following changes of the system's language.
    void finishLaunching();
    /// Stops the screen-saver prevention and releases the assertion; the saved session stays, so the
    /// next launch restores it. Safe to call twice.
    void quit();
    // ---- The tray ----
    /// Shows the tray icon and menu through `functions` and keeps them current with the state: the
    /// one place the tray is wired. Tells the user once when no tray can show it. Needs a running
    /// session bus; the XEmbed fallback needs a QApplication.
    void startTray(TrayFunctions functions);
    /// The tray with the full menu, the icon drawn from the state and the windows they open.
    void startDesktopTray();
    /// Offers the tray icon again (a second launch asked for it); false when this instance has no tray
    /// or no tray shows it.
    bool showTray();
    // ---- end of the tray ----
    /// Opens the settings window on the tab named `tab` (empty: general) or brings it to the front;
    /// false when this instance has no windows (headless).
    bool showSettings(std::string_view tab);
    /// Opens the about window or brings it to the front; false without windows.
    bool showAbout();

    /// The signals that end the instance through quit(): SIGTERM, SIGINT and SIGHUP. They must be
    /// blocked in every thread before handleTerminationSignals().
    static sigset_t terminationSignals();
    /// Runs quit() and leaves the event loop with status 0 on any of terminationSignals(). False when
    /// the signals cannot be routed (then they keep their default action).
    bool handleTerminationSignals();
    /// Runs quit() and leaves the event loop when `bus` (the session's) goes away: the session is over.
    void quitWhenDisconnected(QDBusConnection bus);

    AppState& state() { return *state_; }
    URLCommandRouter& router() { return *router_; }
    Localization& texts() { return *texts_; }
    Clock& clock() { return *clock_; }
    TimerManager& timer() { return *timer_; }
    /// Reads the thermal state on demand (the simulated machine's changes go through it).
    ThermalMonitor& thermalMonitor() { return *thermalMonitor_; }
    const Calendar& calendar() const { return calendar_; }
    const SystemLocale& locale() const { return *locale_; }
    /// The assertion and screen-saver prevention, for the status a client asks for.
    const SleepPreventionService& sleepPrevention() const { return *sleepPrevention_; }
    /// Starting Torvel at login, for the settings window.
    LoginItemService& loginItems() { return *loginItems_; }
    /// Where notices go (the menu shows the last status message).
    NotificationService& notifications() { return *notifications_; }
    /// Assertions still held on the simulated machine; 0 on the real one (it cannot be asked).
    std::size_t simulatedAssertionsHeld() const;

    /// The parts of the simulated machine that can be changed from outside.
    struct SimulatedMachine {
        SimPowerAssertions* assertions = nullptr;
        SimPowerSources* powerSources = nullptr;
        SimWorkspace* workspace = nullptr;
        SimThermal* thermal = nullptr;
        SimScreens* screens = nullptr;
        SimDisplayConfiguration* displayConfiguration = nullptr;
        SimWiFi* wifi = nullptr;
        SimLid* lid = nullptr;
        SimSounds* sounds = nullptr;
        SimPrivilegedPower* privilegedPower = nullptr;
        SimLowPowerMode* lowPowerMode = nullptr;
        // The low-battery emergency's view: other processes' locks, and what becomes of a sleep.
        SimAssertionTable* assertionTable = nullptr;
        SimProcessInfo* processInfo = nullptr;
        SimProcessControl* processControl = nullptr;
        SimSessionAutomation* sessionAutomation = nullptr;
    };
    /// nullptr on the real desktop.
    SimulatedMachine* simulatedMachine() { return machine_ == Machine::simulated ? &sim_ : nullptr; }

private Q_SLOTS:
    /// The system locale changed: the texts follow it when the language setting is "system".
    void handleLocaleChanged();
    void handleBusDisconnected();

private:
    void onSignal();

    Machine machine_;
    std::unique_ptr<LogSink> log_;
    Logger logger_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<SystemLocale> locale_;
    std::unique_ptr<Localization> texts_;
    std::unique_ptr<DefaultsStore> defaults_;
    std::unique_ptr<PowerAssertions> assertions_;
    SimulatedMachine sim_;  // views into the adapters below, on the simulated machine
    std::unique_ptr<PowerSources> powerSources_;
    std::unique_ptr<NotificationCenter> notificationCenter_;
    std::unique_ptr<SleepPreventionService> sleepPrevention_;
    std::unique_ptr<TimerManager> timer_;
    std::unique_ptr<NotificationService> notifications_;
    std::unique_ptr<DefaultsSessionPersistence> sessions_;
    std::unique_ptr<GuardianService> guardian_;
    std::unique_ptr<Sounds> sounds_;
    std::unique_ptr<AudioFeedbackService> audio_;  // after sounds_: it plays through them
    std::unique_ptr<ProcessRunner> processRunner_;
    std::unique_ptr<LowPowerMode> lowPowerMode_;
    std::unique_ptr<PrivilegedPower> privilegedPower_;  // after lowPowerMode_: it uses the daemon
    std::unique_ptr<StayguardService> stayguard_;
    std::unique_ptr<LowPowerModeController> lowPowerController_;
    Connection stayguardConnection_;
    Connection inhibitServicesConnection_;
    // The emergency's census and sleep; before state_, whose worker thread uses them until it goes.
    std::unique_ptr<AssertionTable> assertionTable_;
    std::unique_ptr<ProcessInfo> processInfo_;
    std::unique_ptr<ProcessControl> processControl_;
    std::unique_ptr<SessionRelays> sessionRelays_;  // none on the simulated machine
    std::unique_ptr<SessionAutomation> sessionAutomation_;
    std::unique_ptr<SleepBlockerMonitor> blockerMonitor_;
    std::unique_ptr<EmergencySleepService> emergencySleep_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<BatteryMonitor> battery_;
    std::unique_ptr<Thermal> thermal_;
    std::unique_ptr<ThermalMonitor> thermalMonitor_;
    std::unique_ptr<Screens> screens_;
    std::unique_ptr<DisplayConfiguration> displayConfiguration_;
    std::unique_ptr<DisplayMonitor> displayMonitor_;
    std::unique_ptr<MirroringMonitor> mirroringMonitor_;
    std::unique_ptr<WiFi> wifi_;
    std::unique_ptr<WiFiNetworkMonitor> wifiMonitor_;  // after wifi_: it unsubscribes from it
    std::unique_ptr<Lid> lid_;
    std::unique_ptr<LidStateMonitor> lidMonitor_;  // after lid_: it unsubscribes from it
    std::unique_ptr<Workspace> workspace_;
    std::unique_ptr<ProcessMonitor> processMonitor_;
    std::unique_ptr<SystemSleepEvents> sleepEvents_;  // after timer_: its callback uses the timer
    std::unique_ptr<WallClockChanges> clockChanges_;
    Calendar calendar_ = Calendar::current();
    std::unique_ptr<URLCommandRouter> router_;
    std::unique_ptr<LoginItem> loginItem_;
    std::unique_ptr<LoginItemService> loginItems_;
    std::unique_ptr<TrayFace> face_;        // outlives the tray, which calls into it
    std::unique_ptr<OnboardingHint> onboarding_;  // likewise
    std::unique_ptr<TrayController> tray_;  // after the state and the timer it shows
    std::vector<Connection> trayConnections_;
    int signalFd_ = -1;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    bool quit_ = false;
};

}  // namespace torvel
