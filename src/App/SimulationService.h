#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "Models/BatteryState.h"

namespace torvel {

class AppDelegate;

/// One change to the simulated machine, as `torvel sim NAME=VALUE...` asks for it.
struct SimulatedChange {
    enum class Kind { battery, noBattery, ac, charging, estimate, thermal, lid, displays, mirroring, wifi, launch, quit };
    Kind kind = Kind::battery;
    long long number = 0;  // battery percent, display count, estimate seconds (-1 unknown)
    bool flag = false;     // ac on, charging, lid closed, mirroring on, Wi-Fi connected
    ThermalState thermal = ThermalState::nominal;
    std::string text;      // SSID; application id to launch or quit
    std::string name;      // shown name of an application to launch
};

/// Reads NAME=VALUE assignments; every one must read, or the message says which did not.
/// battery=0..100|none  ac=on|off  charging=on|off  estimate=SECONDS|unknown
/// thermal=nominal|fair|serious|critical  lid=open|closed  display=N (external displays)
/// mirroring=on|off  wifi=SSID|off  launch=ID[:NAME]  quit=ID
struct SimulatedChanges {
    std::vector<SimulatedChange> changes;
    std::optional<std::string> error;
};
SimulatedChanges parseSimulatedChanges(const std::vector<std::string>& assignments);

/// Lets tests and demos change the simulated machine from outside: exported at kObjectPath next to the
/// main object, only by an instance running on the simulated machine.
///
///   Change(as assignments) -> (s machine)   applies all or, when one does not read, none (the call
///                                           fails with the main interface's invalid-argument error)
///   Describe() -> (s machine)               the simulated machine as "battery=80 ac=on ..."
class SimulationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.torvel.Torvel1.Simulation")
public:
    static constexpr const char* kObjectPath = "/com/torvel/Torvel/Simulation";
    static constexpr const char* kInterface = "com.torvel.Torvel1.Simulation";

    explicit SimulationService(AppDelegate& app);
    bool registerOn(QDBusConnection bus);

public Q_SLOTS:
    QString Change(const QStringList& assignments);
    QString Describe();

private:
    void apply(const SimulatedChange& change);

    AppDelegate& app_;
};

}  // namespace torvel
