#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Log.h"
#include "Platform/PowerSources.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The power sources as UPower sees them: its DisplayDevice (the composite of the laptop batteries)
/// stands for the first power source, and the daemon's OnBattery says whether the machine runs on
/// battery. How UPower's values become the description:
///
/// | UPower                                       | description / result                              |
/// |----------------------------------------------|---------------------------------------------------|
/// | not on the bus, a call fails or times out    | ReadStatus::noInfo                                |
/// | DisplayDevice IsPresent false, Type not 2    | ReadStatus::noSources (no battery: a desktop)     |
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
/// Changes arrive as PropertiesChanged on the DisplayDevice and on the daemon object. UPower updates
/// several properties per change, and OnBattery apart from the device, so signals within a short
/// window are delivered as one callback on the Qt main loop.
class UPowerPowerSources : public QObject, public PowerSources {
    Q_OBJECT

public:
    /// Talks to UPower on `system`; nothing is called before the first read.
    UPowerPowerSources(QDBusConnection system, LogSink& log);
    ~UPowerPowerSources() override;

    PowerSourceReading readFirstSource() override;
    double timeRemainingEstimate() override;
    /// False when the bus connection cannot subscribe to the signals.
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override;

    /// Signals arriving this close together make one callback.
    static constexpr int kCoalesceMs = 50;
    /// Longest wait for one UPower reply; the reads happen on the main loop.
    static constexpr int kCallTimeoutMs = 2000;

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);

private:
    /// The properties of one object, or std::nullopt when the call failed (logged once per failure kind).
    std::optional<QVariantMap> getAll(const char* path, const char* interface);
    bool subscribe();
    void unsubscribe();
    void deliver();

    QDBusConnection bus_;
    Logger log_;
    std::function<void()> onChange_;
    bool subscribed_ = false;
    QTimer coalesce_;
    QString lastError_;
};

/// The power sources of this machine: UPower when it runs on `system` or the bus can start it, otherwise
/// the kernel's power-supply class in sysfs.
std::unique_ptr<PowerSources> makeLinuxPowerSources(QDBusConnection system, Scheduler& scheduler,
                                                    LogSink& log);

}  // namespace torvel
