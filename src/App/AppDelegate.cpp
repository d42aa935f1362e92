#include "App/AppDelegate.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>

#include "App/OnboardingHint.h"
#include "App/TrayFace.h"
#include "State/AppState.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Monitors/BatteryMonitor.h"
#include "Monitors/DisplayMonitor.h"
#include "Monitors/LidStateMonitor.h"
#include "Monitors/MirroringMonitor.h"
#include "Monitors/ProcessMonitor.h"
#include "Monitors/ThermalMonitor.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/Linux/Power/DesktopPowerAssertions.h"
#include "Platform/Linux/Power/DBusSessionRelays.h"
#include "Platform/Linux/Doctor/Doctor.h"
#include "Platform/Linux/Displays/DrmDisplayConfiguration.h"
#include "Platform/Linux/Displays/DrmScreens.h"
#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"
#include "Platform/Linux/Desktop/FreedesktopNotificationCenter.h"
#include "Platform/Linux/Desktop/JournalLogSink.h"
#include "Platform/Linux/Helpers/BoundedProcess.h"
#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"
#include "Platform/Linux/Power/LinuxPrivilegedPower.h"
#include "Platform/Linux/Power/LogindAssertionTable.h"
#include "Platform/Linux/Power/LogindSleepEvents.h"
#include "Platform/Linux/Displays/MutterDisplayConfiguration.h"
#include "Platform/Linux/Desktop/NetworkManagerWiFi.h"
#include "Platform/Linux/Processes/PidfdProcessControl.h"
#include "Platform/Linux/Power/PolkitSessionAutomation.h"
#include "Platform/Linux/Power/PowerProfilesDaemon.h"
#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Linux/Processes/ProcWorkspace.h"
#include "Platform/Linux/Desktop/PulseSimpleSounds.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Displays/QtScreens.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Platform/Linux/Power/SysfsThermal.h"
#include "Platform/Linux/Desktop/SystemClock.h"
#include "Platform/Linux/Desktop/TimerfdWallClockChanges.h"
#include "Platform/Linux/Power/UPowerLid.h"
#include "Platform/Linux/Power/UPowerPowerSources.h"
#include "Platform/Linux/Desktop/XdgAutostartLoginItem.h"
#include "Platform/Linux/Displays/XcbRandrDisplayConfiguration.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/SimLid.h"
#include "Platform/Sim/SimLoginItem.h"
#include "Platform/Sim/SimLowPowerMode.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Platform/Sim/SimPrivilegedPower.h"
#include "Platform/Sim/SimProcessControl.h"
#include "Platform/Sim/SimScreens.h"
#include "Platform/Sim/SimSessionAutomation.h"
#include "Platform/Sim/SimSleepBlockers.h"
#include "Platform/Sim/SimSounds.h"
#include "Platform/Sim/SimSystemSleepEvents.h"
#include "Platform/Sim/SimThermal.h"
#include "Platform/Sim/SimWiFi.h"
#include "Platform/Sim/SimWorkspace.h"
#include "Services/AudioFeedbackService.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Services/DefaultsSessionPersistence.h"
#include "Services/EmergencySleepService.h"
#include "Services/GuardianService.h"
#include "Services/LoginItemService.h"
#include "Services/LowPowerModeController.h"
#include "Services/NotificationService.h"
#include "Services/StayguardService.h"
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

// Makes a simulated part, hands it to `slot` (its port) and returns it for the simulated machine.
template <typename Sim, typename Port, typename... Args>
Sim* installSim(std::unique_ptr<Port>& slot, Args&... args) {
    auto sim = std::make_unique<Sim>(args...);
    Sim* raw = sim.get();
    slot = std::move(sim);
    return raw;
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
      defaults_(openDefaults(*log_)) {
    // The machine: real desktop services, or the simulated ones.
    if (machine_ == Machine::simulated) {
        // Each simulated part is owned as its port; the machine keeps a pointer for its injectors.
        auto& scheduler = *scheduler_;
        sim_.assertions = installSim<SimPowerAssertions>(assertions_);
        sim_.powerSources = installSim<SimPowerSources>(powerSources_, scheduler);
        notificationCenter_ = std::make_unique<SimNotificationCenter>(scheduler);
        sim_.workspace = installSim<SimWorkspace>(workspace_, scheduler);
        sleepEvents_ = std::make_unique<SimSystemSleepEvents>(scheduler);
        sim_.thermal = installSim<SimThermal>(thermal_);
        sim_.screens = installSim<SimScreens>(screens_, scheduler);
        sim_.displayConfiguration = installSim<SimDisplayConfiguration>(displayConfiguration_, scheduler);
        sim_.wifi = installSim<SimWiFi>(wifi_, scheduler);
        sim_.lid = installSim<SimLid>(lid_, scheduler);
        sim_.sounds = installSim<SimSounds>(sounds_, scheduler);
        sim_.privilegedPower = installSim<SimPrivilegedPower>(privilegedPower_, scheduler);
        sim_.lowPowerMode = installSim<SimLowPowerMode>(lowPowerMode_, scheduler);
        sim_.assertionTable = installSim<SimAssertionTable>(assertionTable_);
        sim_.processInfo = installSim<SimProcessInfo>(processInfo_);
        sim_.processControl = installSim<SimProcessControl>(processControl_);
        sim_.sessionAutomation = installSim<SimSessionAutomation>(sessionAutomation_);
    } else {
        assertionTable_ = std::make_unique<LogindAssertionTable>(QDBusConnection::systemBus());
        processInfo_ = std::make_unique<ProcProcessInfo>();
        processControl_ = std::make_unique<PidfdProcessControl>();
        sessionRelays_ = std::make_unique<DBusSessionRelays>(QDBusConnection::sessionBus());
        sessionAutomation_ = std::make_unique<PolkitSessionAutomation>(QDBusConnection::systemBus(), ::getuid());
        assertions_ = std::make_unique<DesktopPowerAssertions>(QDBusConnection::systemBus(),
                                                               QDBusConnection::sessionBus(), *log_);
        powerSources_ = makeLinuxPowerSources(QDBusConnection::systemBus(), *scheduler_, *log_);
        notificationCenter_ =
            std::make_unique<FreedesktopNotificationCenter>(QDBusConnection::sessionBus(), *log_);
        workspace_ = std::make_unique<ProcWorkspace>(*scheduler_, *locale_, *log_, ProcWorkspace::Options{});
        sleepEvents_ = std::make_unique<LogindSleepEvents>(QDBusConnection::systemBus(), *log_);
        thermal_ = std::make_unique<SysfsThermal>();
        if (withDisplay && QGuiApplication::platformName() == "xcb") {
            // The X server's view: the screens the desktop arranges, and RandR for mirroring.
            const char* display = std::getenv("DISPLAY");
            screens_ = std::make_unique<QtScreens>(*log_);
            displayConfiguration_ = std::make_unique<XcbRandrDisplayConfiguration>(*log_, display ? display : "");
        } else {
            // Without an X connection (headless, or Wayland) the graphics cards count the screens; GNOME's
            // compositor tells what it mirrors (each output has a CRTC of its own there), the cards where
            // no compositor answers.
            screens_ = std::make_unique<DrmScreens>(*log_);
            displayConfiguration_ = std::make_unique<MutterDisplayConfiguration>(
                QDBusConnection::sessionBus(), std::make_unique<DrmDisplayConfiguration>(*log_), *log_);
        }
        wifi_ = std::make_unique<NetworkManagerWiFi>(QDBusConnection::systemBus(), *log_);
        lid_ = std::make_unique<UPowerLid>(QDBusConnection::systemBus(), *scheduler_, *log_);
        // Opens no audio library and reads no file until the first sound; no resources, no sounds.
        const auto resources = resourcesDirectory();
        sounds_ = std::make_unique<PulseSimpleSounds>(resources.empty() ? resources : resources / "sounds",
                                                      *scheduler_, *log_);
        processRunner_ = std::make_unique<BoundedProcess>(*log_);
        auto profiles = std::make_unique<PowerProfilesDaemon>(QDBusConnection::systemBus(), *log_);
        privilegedPower_ = std::make_unique<LinuxPrivilegedPower>(QDBusConnection::systemBus(), *profiles,
                                                                  *processRunner_, *scheduler_, *log_,
                                                                  LinuxPrivilegedPower::currentUserName());
        lowPowerMode_ = std::move(profiles);
    }
    // The simulated machine still runs on the real clock, so it follows the real clock's changes too.
    clockChanges_ = std::make_unique<TimerfdWallClockChanges>(*log_);

    // 1. Services.
    sleepPrevention_ = std::make_unique<SleepPreventionService>(*assertions_, *scheduler_, *log_);
    timer_ = std::make_unique<TimerManager>(*clock_, *scheduler_);
    notifications_ = std::make_unique<NotificationService>(*notificationCenter_, *scheduler_, *texts_, *log_);
    sessions_ = std::make_unique<DefaultsSessionPersistence>(*defaults_, *clock_, *log_);
    guardian_ = std::make_unique<GuardianService>(*clock_, *scheduler_);
    audio_ = std::make_unique<AudioFeedbackService>(*sounds_, *log_);

    stayguard_ = std::make_unique<StayguardService>(*privilegedPower_, *log_);
    lowPowerController_ = std::make_unique<LowPowerModeController>(*stayguard_, *lowPowerMode_, *notifications_,
                                                                   *texts_, *clock_, *log_);

    // 2. The application state, then the helper's first check: its answer arrives later and the lid
    // lock follows it then.
    AppStateServices services{*clock_,           *scheduler_, *log_,           *texts_,    *defaults_,
                              *sleepPrevention_, *timer_,     *notifications_, *sessions_, *guardian_};
    services.audio = audio_.get();
    services.stayguard = stayguard_.get();
    services.lowPowerMode = lowPowerController_.get();
    services.privilegedPower = privilegedPower_.get();
    state_ = std::make_unique<AppState>(services, calendar_);
    AppState::setShared(state_.get());
    stayguardConnection_ =
        stayguard_->installationChanged.connect([this] { state_->lidLock().handleInstallationChanged(); });
    stayguard_->refreshInstallationStatus();
    // An inhibit service coming or going may take a refused request, or have taken our inhibitor away.
    inhibitServicesConnection_ = assertions_->servicesChanged.connect([this] {
        if (state_) state_->handleInhibitServicesChanged();
    });

    // 3. Notifications.
    notifications_->setup();

    // 4. Battery.
    battery_ = std::make_unique<BatteryMonitor>(*powerSources_, *clock_, *log_);
    battery_->startMonitoring();
    battery_->refreshState();
    battery_->setOnStateChanged([this](const BatteryState& s) { state_->handleBatteryStateChanged(s); });
    state_->handleBatteryStateChanged(battery_->currentState());
    state_->attachBatteryMonitor(*battery_);

    // The countdown's wake-up counts on a clock that stands still while the machine sleeps and knows
    // nothing of the wall clock being set: both re-arm it.
    sleepEvents_->setOnWake([this] {
        timer_->resynchronize();
        state_->emergency().handleSystemDidWake(clock_->suspendingNow());
    });
    clockChanges_->setOnChange([this] { timer_->resynchronize(); });

    // 5. Emergency power: the census and the sleep, then the watchdog's first look. 6. The wake shares
    // the callback above.
    blockerMonitor_ =
        std::make_unique<SleepBlockerMonitor>(*assertionTable_, *processInfo_, *log_, ::getpid(), ::getuid(),
                                              sessionRelays_.get());
    emergencySleep_ = std::make_unique<EmergencySleepService>(*sessionAutomation_, *processControl_, *clock_,
                                                              *scheduler_, *log_, ::getuid());
    state_->emergency().attach(blockerMonitor_.get(), emergencySleep_.get());

    // 7. Displays. The state hears the first answer even when it is "no", so the first evaluation
    // sees the real machine.
    displayMonitor_ = std::make_unique<DisplayMonitor>(*screens_, *log_);
    displayMonitor_->setOnChanged([this](bool value) { state_->handleExternalDisplayChanged(value); });
    state_->handleExternalDisplayChanged(displayMonitor_->hasExternalDisplay());

    // 8. Mirroring, the same way.
    mirroringMonitor_ = std::make_unique<MirroringMonitor>(*displayConfiguration_, *scheduler_, *log_);
    mirroringMonitor_->checkMirroring();
    mirroringMonitor_->startFollowingReconfigurations();
    mirroringMonitor_->setOnChanged([this](bool value) { state_->handleMirroringChanged(value); });
    state_->handleMirroringChanged(mirroringMonitor_->isMirroring());

    // 9. Wi-Fi: the monitor's own first reading has no callback; the forced one delivers it once.
    wifiMonitor_ = std::make_unique<WiFiNetworkMonitor>(*wifi_, *log_);
    wifiMonitor_->setOnStateChanged(
        [this](bool connected, const std::vector<std::string>& ssids, WiFiAuthorization authorization) {
            state_->trustedNetworks().handleWiFiStateChanged(connected, ssids, authorization);
        });
    wifiMonitor_->refreshState(true);
    state_->trustedNetworks().attachWiFiMonitor(*wifiMonitor_);

    // 10. Thermal: one reading now, so the state starts from the real one; later readings only while
    // the kill switch guards a session or the machine is warm.
    thermalMonitor_ = std::make_unique<ThermalMonitor>(*thermal_, *scheduler_, *log_);
    thermalMonitor_->refresh();
    thermalMonitor_->setOnChanged([this](ThermalState s) { state_->handleThermalStateChanged(s); });
    state_->handleThermalStateChanged(thermalMonitor_->currentState());
    state_->attachThermalMonitor(*thermalMonitor_);

    // 11. Lid: the state starts with the lid open, so a machine started closed runs the close
    // handling once. The lid's answer may come later, as a change.
    lidMonitor_ = std::make_unique<LidStateMonitor>(*lid_, *log_);
    lidMonitor_->startMonitoring();
    lidMonitor_->setOnChanged([this](bool closed) { state_->handleLidStateChanged(closed); });
    state_->handleLidStateChanged(lidMonitor_->isClosed());
    state_->trustedNetworks().attachLidMonitor(*lidMonitor_);

    // 12. Processes.
    processMonitor_ = std::make_unique<ProcessMonitor>(*workspace_, *locale_, *log_);
    state_->processTrigger().attachMonitor(*processMonitor_);

    // Starting at login, for the settings window: the user's autostart entry, or on the simulated
    // machine a stand-in that never touches the real one.
    if (machine_ == Machine::simulated) {
        loginItem_ = std::make_unique<SimLoginItem>();
    } else {
        loginItem_ = std::make_unique<XdgAutostartLoginItem>(XdgAutostartLoginItem::defaultPath(),
                                                             XdgAutostartLoginItem::execCommand());
    }
    loginItems_ = std::make_unique<LoginItemService>(*loginItem_, *notifications_, *texts_, *log_);

    // 13.-15. The update service, the tray and the settings window join here with the interface.

    router_ =
        std::make_unique<URLCommandRouter>(*state_, *notifications_, *texts_, *clock_, calendar_, *log_);
}

AppDelegate::~AppDelegate() {
    trayConnections_.clear();
    tray_.reset();
    quit();
    signalNotifier_.reset();
    if (signalFd_ >= 0) ::close(signalFd_);
    if (battery_) battery_->setOnStateChanged(nullptr);
    if (thermalMonitor_) thermalMonitor_->setOnChanged(nullptr);
    if (wifiMonitor_) wifiMonitor_->setOnStateChanged(nullptr);
    if (lidMonitor_) lidMonitor_->setOnChanged(nullptr);
}

void AppDelegate::finishLaunching() {
    // 16. Restore.
    if (auto saved = sessions_->loadActiveSession()) {
        const bool restored = state_->restoreSession(*saved);
        logger_.info("Saved session {}", restored ? "restored" : "had run out");
    }
    // 17. The onboarding is shown by the tray once a host shows the icon (startDesktopTray).
    // 18. The system locale; the custom-duration panel (closed on a language change) comes with the tray.
    if (auto* locale = dynamic_cast<EnvironmentSystemLocale*>(locale_.get());
        locale && machine_ == Machine::desktop) {
        locale->followSystemSettings(QDBusConnection::systemBus(), [this] { handleLocaleChanged(); });
    }
}

// ---- The tray ----

void AppDelegate::startTray(TrayFunctions functions) {
    functions.tellNoTray = [this] {
        const bool gnome = desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP"));
        notifications_->send("no-tray", kNotificationTitle,
                             texts_->text(gnome ? "notification.no_tray_gnome" : "notification.no_tray"));
    };
    // Icons sit beside the resources, as share/icons next to share/torvel, in the build tree too.
    const auto resources = resourcesDirectory();
    const auto icons = resources.empty() ? resources : (resources / ".." / "icons").lexically_normal();
    tray_ = std::make_unique<TrayController>(std::move(functions), *timer_, QDBusConnection::sessionBus(), icons,
                                             *log_);
    auto refresh = [this] {
        if (tray_) tray_->refresh();
    };
    trayConnections_.push_back(state_->activationChanged.connect(refresh));
    trayConnections_.push_back(state_->settingChanged.connect([refresh](std::string_view) { refresh(); }));
    trayConnections_.push_back(state_->batteryStateChanged.connect(refresh));
    trayConnections_.push_back(state_->emergency().changed.connect(refresh));
    trayConnections_.push_back(timer_->changed.connect(refresh));
    // What only the menu shows.
    trayConnections_.push_back(state_->profileLibrary().profilesChanged.connect(refresh));
    trayConnections_.push_back(state_->trustedNetworks().wifiStateChanged.connect(refresh));
    trayConnections_.push_back(state_->automationPause().changed.connect(refresh));
    trayConnections_.push_back(notifications_->lastStatusMessageChanged.connect(refresh));
    trayConnections_.push_back(texts_->languageChanged.connect(refresh));  // after the new texts are in
    if (!tray_->start()) logger_.error("The tray icon cannot be offered on the session bus");
}

void AppDelegate::startDesktopTray() {
    face_ = std::make_unique<TrayFace>(*this);
    onboarding_ = std::make_unique<OnboardingHint>(*state_, *notificationCenter_, *texts_, face_->windows(),
                                                   QDBusConnection::sessionBus(), *log_);
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
    face_->windows().showSettings(tab.empty() ? std::nullopt : std::optional<std::string_view>(tab));
    return true;
}

bool AppDelegate::showAbout() {
    if (!face_) return false;
    logger_.info("About window shown, as asked from outside");
    face_->windows().showAbout();
    return true;
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
    sleepPrevention_->stopScreenSaverPrevention();
    sleepPrevention_->stop();
}

std::size_t AppDelegate::simulatedAssertionsHeld() const {
    return sim_.assertions ? sim_.assertions->heldKeepAwake().size() : 0;
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
