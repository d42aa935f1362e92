#pragma once

#include <vector>

#include "State/MonitorValues.h"
#include "Support/Signal.h"

namespace torvel {

class AppState;
class BatteryMonitor;
class DisplayMonitor;
class EmergencySleepService;
class LidStateMonitor;
class MirroringMonitor;
class ProcessMonitor;
class SleepBlockerMonitorProtocol;
class ThermalMonitor;
class WiFiNetworkMonitor;

/// The monitors whose readings the application state follows; one left out is not wired.
struct WiredMonitors {
    BatteryMonitor* battery = nullptr;
    /// The low-battery emergency's census and its sleep: the state's worker thread uses them until the
    /// state is gone, so they must outlive it.
    SleepBlockerMonitorProtocol* blockers = nullptr;
    EmergencySleepService* emergencySleep = nullptr;
    DisplayMonitor* displays = nullptr;
    MirroringMonitor* mirroring = nullptr;
    WiFiNetworkMonitor* wifi = nullptr;
    ThermalMonitor* thermal = nullptr;
    LidStateMonitor* lid = nullptr;
    ProcessMonitor* processes = nullptr;
};

/// Connects each monitor's readings to the application state, the one place that does: starts the
/// monitor, hands the state its first reading (so the first evaluation sees the real machine, even
/// when the answer is "no") and passes on every later one until the wiring ends. The state and the
/// monitors must outlive it. Main loop only.
class MonitorWiring {
public:
    MonitorWiring(AppState& state, const WiredMonitors& monitors);
    MonitorWiring(const MonitorWiring&) = delete;
    MonitorWiring& operator=(const MonitorWiring&) = delete;

private:
    void wireBattery(BatteryMonitor& monitor);
    void wireDisplays(DisplayMonitor& monitor);
    void wireMirroring(MirroringMonitor& monitor);
    void wireWiFi(WiFiNetworkMonitor& monitor);
    void wireThermal(ThermalMonitor& monitor);
    void wireLid(LidStateMonitor& monitor);
    /// A yes/no reading recorded as an input and re-evaluated.
    void record(bool MonitorValues::*field, bool value);

    AppState& state_;
    std::vector<Connection> connections_;
};

}  // namespace torvel
