#pragma once

#include "Monitors/BatteryMonitor.h"
#include "Monitors/DisplayMonitor.h"
#include "Monitors/LidStateMonitor.h"
#include "Monitors/MirroringMonitor.h"
#include "Monitors/ProcessMonitor.h"
#include "Monitors/ThermalMonitor.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "State/Wiring/MonitorWiring.h"

namespace torvel {

struct AppServices;
struct MachineParts;

/// What the application state follows on the machine. Each monitor unsubscribes from its part when it
/// goes, so the machine's parts must outlive them.
struct AppMonitors {
    AppMonitors(MachineParts& machine, const SystemLocale& locale, const Clock& clock, Scheduler& scheduler,
                LogSink& log);
    AppMonitors(const AppMonitors&) = delete;
    AppMonitors& operator=(const AppMonitors&) = delete;

    /// The monitors to wire to the state, with the emergency's census and sleep from `services`.
    WiredMonitors forWiring(AppServices& services);

    BatteryMonitor battery;
    DisplayMonitor displays;
    MirroringMonitor mirroring;
    WiFiNetworkMonitor wifi;
    ThermalMonitor thermal;
    LidStateMonitor lid;
    ProcessMonitor processes;
};

}  // namespace torvel
