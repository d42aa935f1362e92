#include "App/MachineParts.h"

#include <unistd.h>

#include <QDBusConnection>
#include <cstdlib>
#include <string>

#include "Platform/Linux/Desktop/FreedesktopNotificationCenter.h"
#include "Platform/Linux/Desktop/NetworkManagerWiFi.h"
#include "Platform/Linux/Desktop/PulseSimpleSounds.h"
#include "Platform/Linux/Desktop/TimerfdWallClockChanges.h"
#include "Platform/Linux/Desktop/XdgAutostartLoginItem.h"
#include "Platform/Linux/Displays/DrmDisplayConfiguration.h"
#include "Platform/Linux/Displays/DrmScreens.h"
#include "Platform/Linux/Displays/MutterDisplayConfiguration.h"
#include "Platform/Linux/Displays/XcbRandrConnection.h"
#include "Platform/Linux/Displays/XcbRandrDisplayConfiguration.h"
#include "Platform/Linux/Displays/XcbRandrScreens.h"
#include "Platform/Linux/Helpers/BoundedProcess.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Platform/Linux/Power/DBusSessionRelays.h"
#include "Platform/Linux/Power/DesktopPowerAssertions.h"
#include "Platform/Linux/Power/LinuxStayguardHelper.h"
#include "Platform/Linux/Power/LogindAssertionTable.h"
#include "Platform/Linux/Power/LogindSleepEvents.h"
#include "Platform/Linux/Power/PolkitSessionAutomation.h"
#include "Platform/Linux/Power/PowerProfilesDaemon.h"
#include "Platform/Linux/Power/SysfsThermal.h"
#include "Platform/Linux/Power/UPowerLid.h"
#include "Platform/Linux/Power/UPowerPowerSources.h"
#include "Platform/Linux/Processes/PidfdProcessControl.h"
#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Linux/Processes/ProcWorkspace.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/SimLid.h"
#include "Platform/Sim/SimLoginItem.h"
#include "Platform/Sim/SimLowPowerMode.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Platform/Sim/SimProcessControl.h"
#include "Platform/Sim/SimScreens.h"
#include "Platform/Sim/SimSessionAutomation.h"
#include "Platform/Sim/SimSleepBlockers.h"
#include "Platform/Sim/SimSounds.h"
#include "Platform/Sim/SimStayguardHelper.h"
#include "Platform/Sim/SimSystemSleepEvents.h"
#include "Platform/Sim/SimThermal.h"
#include "Platform/Sim/SimWiFi.h"
#include "Platform/Sim/SimWorkspace.h"

namespace torvel {

namespace {

// The X display to read screens from: an X11 session (not Wayland, whose XWayland outputs each have a
// CRTC of their own and hide what the compositor mirrors) whose server answers RandR. Empty otherwise.
std::string randrDisplay(bool withDisplay) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!withDisplay || !display || !*display || (wayland && *wayland) ||
        (session && std::string(session) == "wayland"))
        return {};
    // Asked once at start, before anything runs on the main loop.
    return XcbRandrConnection::hasRandr(display) ? std::string(display) : std::string();
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

MachineParts::MachineParts() = default;
MachineParts::MachineParts(MachineParts&&) noexcept = default;
MachineParts& MachineParts::operator=(MachineParts&&) noexcept = default;
MachineParts::~MachineParts() = default;

MachineParts MachineParts::simulated(Scheduler& scheduler, LogSink& log) {
    // Each simulated part is owned as its port; the machine keeps a pointer for its injectors.
    MachineParts parts;
    auto& sim = parts.sim;
    sim.assertions = installSim<SimPowerAssertions>(parts.assertions);
    sim.powerSources = installSim<SimPowerSources>(parts.powerSources, scheduler);
    parts.notificationCenter = std::make_unique<SimNotificationCenter>(scheduler);
    sim.workspace = installSim<SimWorkspace>(parts.workspace, scheduler);
    parts.sleepEvents = std::make_unique<SimSystemSleepEvents>(scheduler);
    sim.thermal = installSim<SimThermal>(parts.thermal);
    sim.screens = installSim<SimScreens>(parts.screens, scheduler);
    sim.displayConfiguration = installSim<SimDisplayConfiguration>(parts.displayConfiguration, scheduler);
    sim.wifi = installSim<SimWiFi>(parts.wifi, scheduler);
    sim.lid = installSim<SimLid>(parts.lid, scheduler);
    sim.sounds = installSim<SimSounds>(parts.sounds, scheduler);
    sim.stayguardHelper = installSim<SimStayguardHelper>(parts.stayguardHelper, scheduler);
    sim.lowPowerMode = installSim<SimLowPowerMode>(parts.lowPowerMode, scheduler);
    sim.assertionTable = installSim<SimAssertionTable>(parts.assertionTable);
    sim.processInfo = installSim<SimProcessInfo>(parts.processInfo);
    sim.processControl = installSim<SimProcessControl>(parts.processControl);
    sim.sessionAutomation = installSim<SimSessionAutomation>(parts.sessionAutomation);
    // The simulated machine still runs on the real clock, so it follows the real clock's changes too.
    parts.clockChanges = std::make_unique<TimerfdWallClockChanges>(log);
    // A stand-in that never touches the user's real autostart entry.
    parts.loginItem = std::make_unique<SimLoginItem>();
    return parts;
}

MachineParts MachineParts::desktop(Scheduler& scheduler, const SystemLocale& locale, LogSink& log,
                                   bool withDisplay) {
    MachineParts parts;
    QDBusConnection system = QDBusConnection::systemBus();
    QDBusConnection session = QDBusConnection::sessionBus();
    parts.assertionTable = std::make_unique<LogindAssertionTable>(system);
    parts.processInfo = std::make_unique<ProcProcessInfo>();
    parts.processControl = std::make_unique<PidfdProcessControl>();
    parts.sessionRelays = std::make_unique<DBusSessionRelays>(session);
    parts.sessionAutomation = std::make_unique<PolkitSessionAutomation>(system, ::getuid());
    parts.assertions = std::make_unique<DesktopPowerAssertions>(system, session, log);
    parts.powerSources = makeLinuxPowerSources(system, scheduler, log);
    parts.notificationCenter = std::make_unique<FreedesktopNotificationCenter>(session, log);
    parts.workspace = std::make_unique<ProcWorkspace>(scheduler, locale, log, ProcWorkspace::Options{});
    parts.sleepEvents = std::make_unique<LogindSleepEvents>(system, log);
    parts.thermal = std::make_unique<SysfsThermal>();
    if (const std::string display = randrDisplay(withDisplay); !display.empty()) {
        // The X server's view through RandR: the screens the desktop arranges, and what they mirror.
        parts.screens = std::make_unique<XcbRandrScreens>(log, display);
        parts.displayConfiguration = std::make_unique<XcbRandrDisplayConfiguration>(log, display);
    } else {
        // Without an X connection (headless, or Wayland) the graphics cards count the screens; GNOME's
        // compositor tells what it mirrors (each output has a CRTC of its own there), the cards where
        // no compositor answers.
        parts.screens = std::make_unique<DrmScreens>(log);
        parts.displayConfiguration = std::make_unique<MutterDisplayConfiguration>(
            session, std::make_unique<DrmDisplayConfiguration>(log), log);
    }
    parts.wifi = std::make_unique<NetworkManagerWiFi>(system, log);
    parts.lid = std::make_unique<UPowerLid>(system, scheduler, log);
    // Opens no audio library and reads no file until the first sound; no resources, no sounds.
    const auto resources = resourcesDirectory();
    parts.sounds = std::make_unique<PulseSimpleSounds>(resources.empty() ? resources : resources / "sounds",
                                                       scheduler, log);
    parts.processRunner = std::make_unique<BoundedProcess>(log);
    auto profiles = std::make_unique<PowerProfilesDaemon>(system, log);
    parts.stayguardHelper = std::make_unique<LinuxStayguardHelper>(
        system, *profiles, *parts.processRunner, scheduler, log, LinuxStayguardHelper::currentUserName());
    parts.lowPowerMode = std::move(profiles);
    parts.clockChanges = std::make_unique<TimerfdWallClockChanges>(log);
    // The user's autostart entry.
    parts.loginItem = std::make_unique<XdgAutostartLoginItem>(XdgAutostartLoginItem::defaultPath(),
                                                              XdgAutostartLoginItem::execCommand());
    return parts;
}

}  // namespace torvel
