#include "Platform/Linux/Power/UPowerPowerSources.h"

#include "Platform/Linux/Helpers/BusNames.h"

#include <QDBusConnectionInterface>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "Platform/Linux/Power/SysfsPowerSources.h"

namespace torvel {

namespace {

constexpr const char* kService = "org.freedesktop.UPower";
constexpr const char* kDaemonPath = "/org/freedesktop/UPower";
constexpr const char* kDaemonInterface = "org.freedesktop.UPower";
constexpr const char* kDisplayDevicePath = "/org/freedesktop/UPower/devices/DisplayDevice";
constexpr const char* kDeviceInterface = "org.freedesktop.UPower.Device";

// UPower's device kinds and states, from its D-Bus interface description.
constexpr double kKindBattery = 2;
constexpr double kKindUps = 3;
constexpr double kStateCharging = 1;

// A property of any integer or floating-point D-Bus type; anything else is not a number.
std::optional<double> number(const QVariantMap& properties, const char* key) {
    const QVariant value = properties.value(key);
    switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return value.toDouble();
        default:
            return std::nullopt;
    }
}

std::optional<bool> boolean(const QVariantMap& properties, const char* key) {
    const QVariant value = properties.value(key);
    if (value.typeId() != QMetaType::Bool) return std::nullopt;
    return value.toBool();
}

// The DisplayDevice describes a battery only when one is present; on a desktop it stays "unknown". A
// machine on a UPS alone has the UPS as its battery.
bool describesBattery(const QVariantMap& device) {
    const auto kind = number(device, "Type");
    return boolean(device, "IsPresent").value_or(false) && (kind == kKindBattery || kind == kKindUps);
}

}  // namespace

UPowerPowerSources::UPowerPowerSources(QDBusConnection system, LogSink& log)
    : log_(log, "PowerSources"),
      upower_(std::move(system), kService),
      device_(
          upower_, kDisplayDevicePath, kDeviceInterface, [this] { propertiesChanged(); },
          [this](const QDBusMessage& error) { failed(kDisplayDevicePath, error); }),
      daemon_(
          upower_, kDaemonPath, kDaemonInterface, [this] { propertiesChanged(); },
          [this](const QDBusMessage& error) { failed(kDaemonPath, error); }) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(kCoalesceMs);
    QObject::connect(&coalesce_, &QTimer::timeout, [this] { deliver(); });
    if (!upower_.bus().isConnected()) return;
    subscribed_ = device_.subscribed() && daemon_.subscribed();
    if (!subscribed_) log_.error("Cannot subscribe to UPower's property changes on this bus connection");
    owner_ = upower_.ownerChanged.connect([this](const QString& newOwner) { ownerChanged(newOwner); });
}

UPowerPowerSources::~UPowerPowerSources() = default;

void UPowerPowerSources::propertiesChanged() {
    if (!lastError_.isEmpty() && device_.properties() && daemon_.properties()) {
        log_.info("UPower answers again");
        lastError_.clear();
    }
    announce();
}

void UPowerPowerSources::failed(const char* path, const QDBusMessage& error) {
    const QString name = error.errorName().isEmpty() ? QStringLiteral("malformed reply") : error.errorName();
    // Say it once per kind of failure, not for every object and restart.
    if (name == lastError_) return;
    log_.error("UPower gave no properties for {}: {} {}", path, name.toStdString(),
               error.errorMessage().toStdString());
    lastError_ = name;
}

void UPowerPowerSources::ownerChanged(const QString& newOwner) {
    if (newOwner.isEmpty()) {
        log_.info("UPower left the bus: no power-source information until it returns");
    } else {
        log_.info("UPower is on the bus: reading its properties");
    }
    announce();
}

PowerSourceReading UPowerPowerSources::readFirstSource() {
    const auto& device = device_.properties();
    const auto& daemon = daemon_.properties();
    if (!device) return {ReadStatus::noInfo, {}};
    if (!describesBattery(*device)) return {ReadStatus::noSources, {}};
    if (!daemon) return {ReadStatus::noInfo, {}};

    PowerSourceReading reading{ReadStatus::ok, {}};
    auto& values = reading.description.values;
    // A percentage UPower cannot know stays unknown rather than becoming 0 or 100.
    if (const auto percent = number(*device, "Percentage"); percent && std::isfinite(*percent)) {
        values[kCurrentCapacityKey] = static_cast<std::int64_t>(std::clamp(std::round(*percent), 0.0, 100.0));
    }
    if (const auto onBattery = boolean(*daemon, "OnBattery")) {
        values[kPowerSourceStateKey] = std::string(*onBattery ? kBatteryPowerState : kACPowerState);
    }
    values[kIsChargingKey] = number(*device, "State") == kStateCharging;
    return reading;
}

double UPowerPowerSources::timeRemainingEstimate() {
    const auto& device = device_.properties();
    const auto& daemon = daemon_.properties();
    const auto onBattery = daemon ? boolean(*daemon, "OnBattery") : std::nullopt;
    if (!onBattery) return kTimeRemainingUnknown;
    if (!*onBattery) return kTimeRemainingUnlimited;
    if (!device || !describesBattery(*device)) return kTimeRemainingUnknown;
    const auto seconds = number(*device, "TimeToEmpty");
    // UPower reports 0 while it is still learning the discharge rate.
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0) return kTimeRemainingUnknown;
    return *seconds;
}

bool UPowerPowerSources::setOnChange(std::function<void()> onChange) {
    if (!subscribed_) {
        onChange_ = nullptr;
        coalesce_.stop();
        return false;
    }
    onChange_ = std::move(onChange);
    return true;
}

void UPowerPowerSources::stopNotifications() {
    // The subscription stays: it keeps the properties current for reads on demand.
    onChange_ = nullptr;
    coalesce_.stop();
}

void UPowerPowerSources::announce() {
    // A change already queued when notifications stopped finds no callback.
    if (onChange_ && !coalesce_.isActive()) coalesce_.start();
}

void UPowerPowerSources::deliver() {
    if (!onChange_) return;
    const auto onChange = onChange_;  // the callback may replace or stop itself while it runs
    onChange();
}

std::unique_ptr<PowerSources> makeLinuxPowerSources(QDBusConnection system, Scheduler& scheduler,
                                                    LogSink& log) {
    if (busNameAvailable(system, kService))
        return std::make_unique<UPowerPowerSources>(std::move(system), log);
    Logger(log, "PowerSources")
        .info("UPower is not on the system bus; reading the power supplies from sysfs");
    return std::make_unique<SysfsPowerSources>(scheduler, log);
}

}  // namespace torvel
