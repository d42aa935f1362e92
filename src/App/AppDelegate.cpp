#include "App/AppDelegate.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdlib>

#include "App/AppMonitors.h"
#include "App/AppServices.h"
#include "App/OnboardingHint.h"
#include "App/TrayFace.h"
#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"
#include "Platform/Linux/Desktop/JournalLogSink.h"
#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Desktop/SystemClock.h"
#include "Platform/Linux/Doctor/Doctor.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Platform/PowerAssertions.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/SystemSleepEvents.h"
#include "Platform/WallClockChanges.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "State/Wiring/MonitorWiring.h"
#include "Support/Localization.h"
#include "UI/SettingsTab.h"
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

AppDelegate::AppDelegate(Machine machine, bool withDisplay)
    : machine_(machine),
      log_(std::make_unique<JournalLogSink>()),
      logger_(*log_, "App"),
      clock_(std::make_unique<SystemClock>()),
      scheduler_(std::make_unique<QtScheduler>()),
      locale_(std::make_unique<EnvironmentSystemLocale>()),
      texts_(std::make_unique<Localization>(*log_, resourcesDirectory(), locale_.get())),
      defaults_(openDefaults(*log_)),
      parts_(std::make_unique<MachineParts>(
          machine == Machine::simulated ? MachineParts::simulated(*scheduler_, *log_)
                                        : MachineParts::desktop(*scheduler_, *locale_, *log_, withDisplay))),
      services_(std::make_unique<AppServices>(*parts_, *clock_, *scheduler_, *texts_, *defaults_, *log_)),
      state_(std::make_unique<AppState>(services_->forState(), calendar_)) {
    // The helper's first check: its answer arrives later, and the lid lock follows it then.
    stayguardConnection_ = services_->stayguard.installationChanged.connect(
        [this] { state_->lidLock().handleInstallationChanged(); });
    services_->stayguard.refreshInstallationStatus();
    services_->notifications.setup();

    monitors_ = std::make_unique<AppMonitors>(*parts_, *locale_, *clock_, *scheduler_, *log_);
    wireMachineEvents();
    wiring_ = std::make_unique<MonitorWiring>(*state_, monitors_->forWiring(*services_));
    router_ = std::make_unique<URLCommandRouter>(*state_, services_->notifications, *texts_, *clock_,
                                                 calendar_, *log_);
}

AppDelegate::~AppDelegate() {
    trayConnections_.clear();
    tray_.reset();
    quit();
    signalNotifier_.reset();
    if (signalFd_ >= 0) ::close(signalFd_);
}

void AppDelegate::wireMachineEvents() {
    // An inhibit service coming or going may take a refused request, or have taken our inhibitor away.
    inhibitServicesConnection_ =
        parts_->assertions->servicesChanged.connect([this] { state_->handleInhibitServicesChanged(); });
    // The countdown's wake-up counts on a clock that stands still while the machine sleeps and knows
    // nothing of the wall clock being set: both re-arm it.
    parts_->sleepEvents->setOnWake(lifetime_.guard([this] {
        services_->timer.resynchronize();
        state_->emergency().handleResume(clock_->suspendingNow());
    }));
    parts_->clockChanges->setOnChange(lifetime_.guard([this] { services_->timer.resynchronize(); }));
}

TimerManager& AppDelegate::timer() {
    return services_->timer;
}

ThermalMonitor& AppDelegate::thermalMonitor() {
    return monitors_->thermal;
}

const SleepPreventionService& AppDelegate::sleepPrevention() const {
    return services_->sleepPrevention;
}

LoginItemService& AppDelegate::loginItems() {
    return services_->loginItems;
}

NotificationService& AppDelegate::notifications() {
    return services_->notifications;
}

AppDelegate::SimulatedMachine* AppDelegate::simulatedMachine() {
    return machine_ == Machine::simulated ? &parts_->sim : nullptr;
}

void AppDelegate::finishLaunching() {
    // The session that ran when Torvel last stopped.
    if (auto saved = services_->sessions.loadActiveSession()) {
        const bool restored = state_->restoreSession(*saved);
        logger_.info("Saved session {}", restored ? "restored" : "had run out");
    }
    // The system locale; the onboarding (once a host shows the icon) and the custom-duration panel
    // (closed on a language change) come with the tray.
    if (auto* locale = dynamic_cast<EnvironmentSystemLocale*>(locale_.get());
        locale && machine_ == Machine::desktop) {
        locale->followSystemSettings(QDBusConnection::systemBus(), [this] { handleLocaleChanged(); });
    }
}

// ---- The tray ----

void AppDelegate::startTray(TrayFunctions functions) {
    functions.tellNoTray = [this] {
        const bool gnome = desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP"));
        services_->notifications.send(
            "no-tray", kNotificationTitle,
            texts_->text(gnome ? "notification.no_tray_gnome" : "notification.no_tray"));
    };
    // Icons sit beside the resources, as share/icons next to share/torvel, in the build tree too.
    const auto resources = resourcesDirectory();
    const auto icons = resources.empty() ? resources : (resources / ".." / "icons").lexically_normal();
    tray_ = std::make_unique<TrayController>(std::move(functions), services_->timer,
                                             QDBusConnection::sessionBus(), TrayController::sessionBusOpener(),
                                             icons, *log_);
    auto refresh = [this] {
        if (tray_) tray_->refresh();
    };
    trayConnections_.push_back(state_->activationChanged.connect(refresh));
    trayConnections_.push_back(state_->settingChanged.connect([refresh](std::string_view) { refresh(); }));
    trayConnections_.push_back(state_->batteryStateChanged.connect(refresh));
    trayConnections_.push_back(state_->emergency().changed.connect(refresh));
    trayConnections_.push_back(services_->timer.changed.connect(refresh));
    // What only the menu shows.
    trayConnections_.push_back(state_->profileLibrary().profilesChanged.connect(refresh));
    trayConnections_.push_back(state_->trustedNetworks().wifiStateChanged.connect(refresh));
    trayConnections_.push_back(state_->automationPause().changed.connect(refresh));
    trayConnections_.push_back(services_->notifications.lastStatusMessageChanged.connect(refresh));
    trayConnections_.push_back(texts_->languageChanged.connect(refresh));  // after the new texts are in
    if (!tray_->start()) logger_.error("The tray icon cannot be offered on the session bus");
}

void AppDelegate::startDesktopTray() {
    face_ = std::make_unique<TrayFace>(*this);
    onboarding_ = std::make_unique<OnboardingHint>(*state_, *parts_->notificationCenter, *texts_,
                                                   face_->windows(), QDBusConnection::sessionBus(), *log_);
    TrayFunctions functions = face_->functions();
    functions.showOnboarding = [this](const TrayHostPlace& place) { onboarding_->show(place); };
    startTray(std::move(functions));
}

bool AppDelegate::showTray() {
    return tray_ && tray_->show();
}

// ---- end of the tray ----

bool AppDelegate::showSettings(std::string_view tab) {
    if (!face_) return false;
    logger_.info("Settings window shown on the {} tab, as asked from outside", rawValue(settingsTabNamed(tab)));
    QStringList words{"settings"};
    if (!tab.empty()) words << QString::fromUtf8(tab.data(), static_cast<qsizetype>(tab.size()));
    return face_->windows().open(words);
}

bool AppDelegate::showAbout() {
    if (!face_) return false;
    logger_.info("About window shown, as asked from outside");
    return face_->windows().open({"about"});
}

void AppDelegate::handleLocaleChanged() {
    // Asynchronously, as the change may arrive in the middle of other work.
    QTimer::singleShot(0, this, [this] {
        if (state_) state_->handleLocaleChanged();
    });
}

void AppDelegate::quit() {
    if (quit_) return;
    quit_ = true;
    logger_.info("Quitting: releasing the power assertion; a running session is kept for the next launch");
    state_->handleAppTerminate();  // stops the alarm too
    services_->sleepPrevention.stopScreenSaverPrevention();
    services_->sleepPrevention.stop();
}

std::size_t AppDelegate::simulatedAssertionsHeld() const {
    return parts_->sim.assertions ? parts_->sim.assertions->heldKeepAwake().size() : 0;
}

sigset_t AppDelegate::terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

bool AppDelegate::handleTerminationSignals() {
    // The signals must already be blocked in every thread (main() does so before Qt starts any), so
    // that they queue on the descriptor instead of killing the process.
    const sigset_t set = terminationSignals();
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0) {
        logger_.error("Cannot route SIGTERM, SIGINT and SIGHUP to the quit path: signalfd failed ({})",
                      errno);
        return false;
    }
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalFd_, QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, &AppDelegate::onSignal);
    return true;
}

void AppDelegate::quitWhenDisconnected(QDBusConnection bus) {
    // The bus library delivers its own "Disconnected" signal when the connection drops.
    bus.connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local", "Disconnected", this,
                SLOT(handleBusDisconnected()));
}

void AppDelegate::handleBusDisconnected() {
    logger_.info("The session bus went away: quitting with the session");
    quit();
    QCoreApplication::exit(0);
}

void AppDelegate::onSignal() {
    signalfd_siginfo info{};
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        logger_.info("Signal {} received", info.ssi_signo);
    quit();
    QCoreApplication::exit(0);
}

}  // namespace torvel
