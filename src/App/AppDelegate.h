#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <string>

#include "Models/Calendar.h"
#include "Platform/Log.h"

namespace torvel {

class AppState;
class BatteryMonitor;
class Clock;
class DefaultsStore;
class DefaultsSessionPersistence;
class GuardianService;
class Localization;
class NotificationCenter;
class NotificationService;
class PowerAssertions;
class PowerSources;
class Scheduler;
class SimPowerAssertions;
class SleepPreventionService;
class SystemLocale;
class TimerManager;
class URLCommandRouter;

/// The composition root: builds the machine's adapters, the services and the application state in the
/// start-up order, and runs the quit path. Main thread only; needs a QCoreApplication.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    /// The machine Torvel talks to: the real desktop, or the simulated one (for tests and demos; the
    /// defaults still go to the real file so that a restart keeps the session).
    enum class Machine { desktop, simulated };

    /// Builds everything up to, not including, the restore of the saved session.
    explicit AppDelegate(Machine machine);
    ~AppDelegate() override;

    /// The last start-up step: brings back the session that ran when Torvel last stopped.
    void restoreSavedSession();
    /// Stops the screen-saver prevention and releases the assertion; the saved session stays, so the
    /// next launch restores it. Safe to call twice.
    void quit();
    /// Runs quit() and leaves the event loop with status 0 on SIGTERM or SIGINT. False when the
    /// signals cannot be routed (then they keep their default action).
    bool handleTerminationSignals();

    AppState& state() { return *state_; }
    URLCommandRouter& router() { return *router_; }
    Localization& texts() { return *texts_; }
    Clock& clock() { return *clock_; }
    TimerManager& timer() { return *timer_; }
    const Calendar& calendar() const { return calendar_; }
    /// Assertions still held on the simulated machine; 0 on the real one (it cannot be asked).
    std::size_t simulatedAssertionsHeld() const;

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
    SimPowerAssertions* simAssertions_ = nullptr;  // assertions_ on the simulated machine
    std::unique_ptr<PowerSources> powerSources_;
    std::unique_ptr<NotificationCenter> notificationCenter_;
    std::unique_ptr<SleepPreventionService> sleepPrevention_;
    std::unique_ptr<TimerManager> timer_;
    std::unique_ptr<NotificationService> notifications_;
    std::unique_ptr<DefaultsSessionPersistence> sessions_;
    std::unique_ptr<GuardianService> guardian_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<BatteryMonitor> battery_;
    Calendar calendar_ = Calendar::current();
    std::unique_ptr<URLCommandRouter> router_;
    int signalFd_ = -1;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    bool quit_ = false;
};

}  // namespace torvel
