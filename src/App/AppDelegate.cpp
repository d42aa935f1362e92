#include "App/AppDelegate.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>

#include "Core/AppState.h"
#include "Core/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Monitors/BatteryMonitor.h"
#include "Platform/Linux/DesktopPowerAssertions.h"
#include "Platform/Linux/EnvironmentSystemLocale.h"
#include "Platform/Linux/FreedesktopNotificationCenter.h"
#include "Platform/Linux/JournalLogSink.h"
#include "Platform/Linux/JsonFileDefaultsStore.h"
#include "Platform/Linux/QtScheduler.h"
#include "Platform/Linux/ResourcePaths.h"
#include "Platform/Linux/SystemClock.h"
#include "Platform/Linux/UPowerPowerSources.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Services/DefaultsSessionPersistence.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

std::unique_ptr<DefaultsStore> openDefaults(LogSink& log) {
    if (auto path = JsonFileDefaultsStore::defaultPath())
        return std::make_unique<JsonFileDefaultsStore>(*path, log);
    // Without a home there is nowhere to keep settings; run on defaults rather than not at all.
    Logger(log, "App").error("No configuration folder: settings and sessions last only until quit");
    return std::make_unique<MemoryDefaultsStore>();
}

}  // namespace

AppDelegate::AppDelegate(Machine machine)
    : machine_(machine),
      log_(std::make_unique<JournalLogSink>()),
      logger_(*log_, "App"),
      clock_(std::make_unique<SystemClock>()),
      scheduler_(std::make_unique<QtScheduler>()),
      locale_(std::make_unique<EnvironmentSystemLocale>()),
      texts_(std::make_unique<Localization>(*log_, resourcesDirectory(), locale_.get())),
      defaults_(openDefaults(*log_)) {
    // The machine: real desktop services, or the simulated ones.
    if (machine_ == Machine::simulated) {
        auto sim = std::make_unique<SimPowerAssertions>();
        simAssertions_ = sim.get();
        assertions_ = std::move(sim);
        powerSources_ = std::make_unique<SimPowerSources>(*scheduler_);
        notificationCenter_ = std::make_unique<SimNotificationCenter>(*scheduler_);
    } else {
        assertions_ = std::make_unique<DesktopPowerAssertions>(QDBusConnection::systemBus(),
                                                               QDBusConnection::sessionBus(), *log_);
        powerSources_ = makeLinuxPowerSources(QDBusConnection::systemBus(), *scheduler_, *log_);
        notificationCenter_ =
            std::make_unique<FreedesktopNotificationCenter>(QDBusConnection::sessionBus(), *log_);
    }

    // 1. Services.
    sleepPrevention_ = std::make_unique<SleepPreventionService>(*assertions_, *scheduler_, *log_);
    timer_ = std::make_unique<TimerManager>(*clock_, *scheduler_);
    notifications_ = std::make_unique<NotificationService>(*notificationCenter_, *scheduler_, *texts_, *log_);
    sessions_ = std::make_unique<DefaultsSessionPersistence>(*defaults_, *clock_, *log_);
    guardian_ = std::make_unique<GuardianService>(*clock_, *scheduler_);

    // 2. The application state.
    state_ = std::make_unique<AppState>(
        AppStateServices{*clock_, *scheduler_, *log_, *texts_, *defaults_, *sleepPrevention_, *timer_,
                         *notifications_, *sessions_, *guardian_},
        calendar_);

    // 3. Notifications.
    notifications_->setup();

    // 4. Battery.
    battery_ = std::make_unique<BatteryMonitor>(*powerSources_, *clock_, *log_);
    battery_->startMonitoring();
    battery_->refreshState();
    battery_->setOnStateChanged([this](const BatteryState& s) { state_->handleBatteryStateChanged(s); });
    state_->handleBatteryStateChanged(battery_->currentState());
    state_->attachBatteryMonitor(*battery_);

    router_ =
        std::make_unique<URLCommandRouter>(*state_, *notifications_, *texts_, *clock_, calendar_, *log_);
}

AppDelegate::~AppDelegate() {
    quit();
    signalNotifier_.reset();
    if (signalFd_ >= 0) ::close(signalFd_);
    if (battery_) battery_->setOnStateChanged(nullptr);
}

void AppDelegate::restoreSavedSession() {
    if (auto saved = sessions_->loadActiveSession()) {
        const bool restored = state_->restoreSession(*saved);
        logger_.info("Saved session {}", restored ? "restored" : "had run out");
    }
}

void AppDelegate::quit() {
    if (quit_) return;
    quit_ = true;
    logger_.info("Quitting: releasing the power assertion; a running session is kept for the next launch");
    sleepPrevention_->stopScreenSaverPrevention();
    sleepPrevention_->stop();
}

std::size_t AppDelegate::simulatedAssertionsHeld() const {
    return simAssertions_ ? simAssertions_->heldKeepAwake().size() : 0;
}

bool AppDelegate::handleTerminationSignals() {
    // The signals must already be blocked in every thread (main() does so before Qt starts any), so
    // that they queue on the descriptor instead of killing the process.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0) {
        logger_.error("Cannot route SIGTERM and SIGINT to the quit path: signalfd failed ({})", errno);
        return false;
    }
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalFd_, QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, &AppDelegate::onSignal);
    return true;
}

void AppDelegate::onSignal() {
    signalfd_siginfo info{};
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        logger_.info("Signal {} received", info.ssi_signo);
    quit();
    QCoreApplication::exit(0);
}

}  // namespace torvel
