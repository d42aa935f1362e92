#pragma once

#include <signal.h>

#include <QDBusConnection>
#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <string>
#include <string_view>

#include "App/MachineParts.h"
#include "Models/Calendar.h"
#include "Platform/Log.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"
#include "Tray/TrayController.h"

namespace torvel {

class AppState;
class Clock;
class DefaultsStore;
class Localization;
class LoginItemService;
class NotificationService;
class OnboardingHint;
class Scheduler;
class SleepPreventionService;
class SystemLocale;
class ThermalMonitor;
class TimerManager;
class TrayFace;
class URLCommandRouter;
class MonitorWiring;
struct AppMonitors;
struct AppServices;

/// The composition root: builds the machine's adapters, the services and the application state in the
/// start-up order, and runs the quit path. Main thread only; needs a QCoreApplication.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    /// The machine Torvel talks to: the real desktop, or the simulated one (for tests and demos; the
    /// defaults still go to the real file so that a restart keeps the session).
    enum class Machine { desktop, simulated };

    /// Builds everything up to, not including, the restore of the saved session. `withDisplay`: a
    /// display server answers, so the screens come from its RandR (under X11) instead of the graphics
    /// cards.
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
    /// one place the tray is wired. Tells the user once when no tray can show it, and offers no icon
    /// while a shell extension shows Torvel in the desktop's panel. Needs a running session bus; the
    /// classic XEmbed tray is a helper process the controller starts.
    void startTray(TrayFunctions functions);
    /// The tray with the full menu, the icon drawn from the state and the windows they open.
    void startDesktopTray();
    /// Offers the tray icon again (a second launch asked for it); false when this instance has no tray
    /// or no tray shows it.
    bool showTray();
    /// A tray was started (it may still wait for a host to show it).
    bool hasTray() const { return tray_ != nullptr; }
    // ---- end of the tray ----
    /// Opens the settings window on the tab named `tab` (empty: general) or brings it to the front, in
    /// the window process; false when this instance has no windows (headless) or it cannot be started.
    bool showSettings(std::string_view tab);
    /// Opens the about window or brings it to the front; false as for showSettings.
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
    /// Where the instance logs.
    LogSink& logSink() { return *log_; }
    Clock& clock() { return *clock_; }
    TimerManager& timer();
    /// Reads the thermal state on demand (the simulated machine's changes go through it).
    ThermalMonitor& thermalMonitor();
    const Calendar& calendar() const { return calendar_; }
    const SystemLocale& locale() const { return *locale_; }
    /// The assertion and screen-saver prevention, for the status a client asks for.
    const SleepPreventionService& sleepPrevention() const;
    /// Starting Torvel at login, for the settings window.
    LoginItemService& loginItems();
    /// Where notices go (the menu shows the last status message).
    NotificationService& notifications();
    /// Assertions still held on the simulated machine; 0 on the real one (it cannot be asked).
    std::size_t simulatedAssertionsHeld() const;

    /// The parts of the simulated machine that can be changed from outside.
    using SimulatedMachine = torvel::SimulatedMachine;
    /// nullptr on the real desktop.
    SimulatedMachine* simulatedMachine();

private Q_SLOTS:
    /// The system locale changed: the texts follow it when the language setting is "system".
    void handleLocaleChanged();
    void handleBusDisconnected();

private:
    void onSignal();

    /// What the machine's parts tell the delegate itself: a wake and a clock set re-arm the countdown,
    /// an inhibit service coming or going retries the state's request.
    void wireMachineEvents();

    // Each stage holds references into the ones declared before it: they are built in this order
    // and end in the reverse one. The state's worker thread uses the emergency's census and sleep
    // (services_) until the state is gone; the tray calls into its face and the onboarding hint.
    Machine machine_;
    std::unique_ptr<LogSink> log_;
    Logger logger_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<SystemLocale> locale_;
    std::unique_ptr<Localization> texts_;
    std::unique_ptr<DefaultsStore> defaults_;
    Calendar calendar_ = Calendar::current();
    std::unique_ptr<MachineParts> parts_;
    std::unique_ptr<AppServices> services_;
    std::unique_ptr<AppState> state_;
    Connection stayguardConnection_;
    Connection inhibitServicesConnection_;
    std::unique_ptr<AppMonitors> monitors_;
    std::unique_ptr<MonitorWiring> wiring_;
    std::unique_ptr<URLCommandRouter> router_;
    std::unique_ptr<TrayFace> face_;
    std::unique_ptr<OnboardingHint> onboarding_;
    std::unique_ptr<TrayController> tray_;
    std::vector<Connection> trayConnections_;
    int signalFd_ = -1;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    bool quit_ = false;
    // Last, so that it ends first: the callbacks handed to the machine's parts do nothing from then on.
    Lifetime lifetime_;
};

}  // namespace torvel
