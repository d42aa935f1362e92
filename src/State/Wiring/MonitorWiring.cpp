#include "State/Wiring/MonitorWiring.h"

#include "Monitors/BatteryMonitor.h"
#include "Monitors/DisplayMonitor.h"
#include "Monitors/LidStateMonitor.h"
#include "Monitors/MirroringMonitor.h"
#include "Monitors/ProcessMonitor.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Monitors/ThermalMonitor.h"
#include "Monitors/WiFiNetworkMonitor.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"

namespace torvel {

MonitorWiring::MonitorWiring(AppState& state, const WiredMonitors& monitors) : state_(state) {
    // The battery before the emergency: the watchdog's first look reads the real charge.
    if (monitors.battery) wireBattery(*monitors.battery);
    if (monitors.blockers || monitors.emergencySleep)
        state_.emergency().attach(monitors.blockers, monitors.emergencySleep);
    if (monitors.displays) wireDisplays(*monitors.displays);
    if (monitors.mirroring) wireMirroring(*monitors.mirroring);
    if (monitors.wifi) wireWiFi(*monitors.wifi);
    if (monitors.thermal) wireThermal(*monitors.thermal);
    if (monitors.lid) wireLid(*monitors.lid);
    // The process monitor reports through the state's own connections, which it keeps itself.
    if (monitors.processes) state_.processTrigger().attachMonitor(*monitors.processes);
}

void MonitorWiring::wireBattery(BatteryMonitor& monitor) {
    monitor.startMonitoring();
    monitor.refreshState();
    connections_.push_back(
        monitor.stateChanged.connect([this](const BatteryState& s) { state_.handleBatteryStateChanged(s); }));
    state_.handleBatteryStateChanged(monitor.currentState());
    state_.safety().attachBatteryMonitor(monitor);
}

void MonitorWiring::record(bool MonitorValues::*field, bool value) {
    state_.updateMonitorValues([&](MonitorValues& values) { values.*field = value; });
}

void MonitorWiring::wireDisplays(DisplayMonitor& monitor) {
    // The monitor counted the screens when it was made. Whether a screen keeps the computer awake is the
    // decision's call, with the setting and the pause.
    connections_.push_back(monitor.externalDisplayChanged.connect(
        [this](bool value) { record(&MonitorValues::hasExternalDisplay, value); }));
    record(&MonitorValues::hasExternalDisplay, monitor.hasExternalDisplay());
}

void MonitorWiring::wireMirroring(MirroringMonitor& monitor) {
    monitor.checkMirroring();
    monitor.startFollowingReconfigurations();
    connections_.push_back(
        monitor.mirroringChanged.connect([this](bool value) { record(&MonitorValues::isMirroring, value); }));
    record(&MonitorValues::isMirroring, monitor.isMirroring());
}

void MonitorWiring::wireWiFi(WiFiNetworkMonitor& monitor) {
    // The monitor's own first reading told nobody; the forced one delivers it once.
    connections_.push_back(monitor.stateChanged.connect(
        [this](bool connected, const std::vector<std::string>& ssids, WiFiAuthorization authorization) {
            state_.trustedNetworks().handleWiFiStateChanged(connected, ssids, authorization);
        }));
    monitor.refreshState(true);
    state_.trustedNetworks().attachWiFiMonitor(monitor);
}

void MonitorWiring::wireThermal(ThermalMonitor& monitor) {
    // One reading now, so the state starts from the real one; later readings only while the kill
    // switch guards a session or the machine is warm.
    monitor.refresh();
    connections_.push_back(
        monitor.stateChanged.connect([this](ThermalState s) { state_.handleThermalStateChanged(s); }));
    state_.handleThermalStateChanged(monitor.currentState());
    state_.safety().attachThermalMonitor(monitor);
}

void MonitorWiring::wireLid(LidStateMonitor& monitor) {
    // The state starts with the lid open, so a machine started closed runs the close handling once. The
    // lid's answer may come later, as a change.
    monitor.startMonitoring();
    connections_.push_back(
        monitor.lidChanged.connect([this](bool closed) { state_.handleLidStateChanged(closed); }));
    state_.handleLidStateChanged(monitor.isClosed());
    state_.trustedNetworks().attachLidMonitor(monitor);
}

}  // namespace torvel
