#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Linux/Helpers/BusPropertyFollower.h"
#include "Platform/Linux/Helpers/BusService.h"
#include "Platform/Log.h"
#include "Platform/PowerSources.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The power sources as UPower sees them: its DisplayDevice (the composite of the laptop batteries, or
/// of the UPS on a machine that has only one) stands for the first power source, and the daemon's
/// OnBattery says whether the machine runs on battery. How UPower's values become the description:
///
/// | UPower                                       | description / result                              |
/// |----------------------------------------------|---------------------------------------------------|
/// | not on the bus, or its properties not known  | ReadStatus::noInfo                                |
/// | DisplayDevice IsPresent false, Type not 2/3  | ReadStatus::noSources (no battery: a desktop)     |
/// | Percentage (double)                          | "Current Capacity": rounded, clamped to 0..100;   |
/// |                                              | left out when missing, NaN or infinite            |
/// | OnBattery                                    | "Power Source State": "Battery Power" / "AC Power"|
/// |                                              | left out when missing or not a boolean            |
/// | State == 1 (charging)                        | "Is Charging" true; every other state false       |
/// | OnBattery and TimeToEmpty > 0                | timeRemainingEstimate(): TimeToEmpty seconds      |
/// | OnBattery false                              | kTimeRemainingUnlimited                           |
/// | anything else                                | kTimeRemainingUnknown                             |
///
/// "Is Charging" means charge is flowing in now. Pending charge (5) is a battery on the charger that is
/// not being charged (a charge threshold, or the controller waiting), and fully charged (4) is not
/// charging either; both count as not charging, as a full battery on the charger does elsewhere.
///
/// Reads never call UPower: the properties are kept from one asynchronous GetAll per object (at start
/// and whenever UPower takes its bus name again) and from its PropertiesChanged signals, so the
/// heartbeat's refresh costs no round trip on the main loop. Until the first answer arrives the reading
/// is noInfo; the answer is announced like any change. UPower updates several properties per change,
/// and OnBattery apart from the device, so signals within a short window make one callback.
class UPowerPowerSources : public PowerSources {
public:
    /// Subscribes to UPower's signals on `system` and asks for its properties, without waiting.
    UPowerPowerSources(QDBusConnection system, LogSink& log);
    ~UPowerPowerSources() override;

    PowerSourceReading readFirstSource() override;
    double timeRemainingEstimate() override;
    /// False when the bus connection cannot subscribe to the signals.
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override;

    /// Signals arriving this close together make one callback.
    static constexpr int kCoalesceMs = 50;

private:
    void propertiesChanged();
    void failed(const char* path, const QDBusMessage& error);
    void ownerChanged(const QString& newOwner);
    void announce();
    void deliver();

    Logger log_;
    std::function<void()> onChange_;
    QTimer coalesce_;
    QString lastError_;
    BusService upower_;
    /// The DisplayDevice and the daemon object.
    BusPropertyFollower device_;
    BusPropertyFollower daemon_;
    bool subscribed_ = false;
    Connection owner_;
};

/// The power sources of this machine: UPower when it runs on `system` or the bus can start it, otherwise
/// the kernel's power-supply class in sysfs.
std::unique_ptr<PowerSources> makeLinuxPowerSources(QDBusConnection system, Scheduler& scheduler,
                                                    LogSink& log);

}  // namespace torvel
