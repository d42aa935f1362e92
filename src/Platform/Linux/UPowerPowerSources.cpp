#include "Platform/Linux/UPowerPowerSources.h"

#include "Platform/Linux/BusNames.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "Platform/Linux/SysfsPowerSources.h"

namespace torvel {

namespace {

constexpr const char* kService = "org.freedesktop.UPower";
constexpr const char* kDaemonPath = "/org/freedesktop/UPower";
constexpr const char* kDaemonInterface = "org.freedesktop.UPower";
constexpr const char* kDisplayDevicePath = "/org/freedesktop/UPower/devices/DisplayDevice";
constexpr const char* kDeviceInterface = "org.freedesktop.UPower.Device";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// UPower's device kinds and states, from its D-Bus interface description.
constexpr double kKindBattery = 2;
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

// The DisplayDevice describes a battery only when one is present; on a desktop it stays "unknown".
bool describesBattery(const QVariantMap& device) {
    return boolean(device, "IsPresent").value_or(false) && number(device, "Type") == kKindBattery;
}

}  // namespace

UPowerPowerSources::UPowerPowerSources(QDBusConnection system, LogSink& log)
    : bus_(std::move(system)), log_(log, "PowerSources") {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(kCoalesceMs);
    QObject::connect(&coalesce_, &QTimer::timeout, this, [this] { deliver(); });
}

UPowerPowerSources::~UPowerPowerSources() {
    unsubscribe();
}

std::optional<QVariantMap> UPowerPowerSources::getAll(const char* path, const char* interface) {
    auto call = QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, "GetAll");
    call << QString(interface);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
        !reply.arguments().first().canConvert<QDBusArgument>()) {
        const QString error =
            reply.errorName().isEmpty() ? QStringLiteral("malformed reply") : reply.errorName();
        // Every refresh would repeat the same line while UPower is gone; say it once per kind of failure.
        if (error != lastError_) {
            log_.error("UPower gave no properties for {}: {} {}", path, error.toStdString(),
                       reply.errorMessage().toStdString());
            lastError_ = error;
        }
        return std::nullopt;
    }
    if (!lastError_.isEmpty()) {
        log_.info("UPower answers again");
        lastError_.clear();
    }
    return qdbus_cast<QVariantMap>(reply.arguments().first());
}

PowerSourceReading UPowerPowerSources::readFirstSource() {
    const auto device = getAll(kDisplayDevicePath, kDeviceInterface);
    if (!device) return {ReadStatus::noInfo, {}};
    if (!describesBattery(*device)) return {ReadStatus::noSources, {}};
    const auto daemon = getAll(kDaemonPath, kDaemonInterface);
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
    const auto daemon = getAll(kDaemonPath, kDaemonInterface);
    const auto onBattery = daemon ? boolean(*daemon, "OnBattery") : std::nullopt;
    if (!onBattery) return kTimeRemainingUnknown;
    if (!*onBattery) return kTimeRemainingUnlimited;
    const auto device = getAll(kDisplayDevicePath, kDeviceInterface);
    if (!device || !describesBattery(*device)) return kTimeRemainingUnknown;
    const auto seconds = number(*device, "TimeToEmpty");
    // UPower reports 0 while it is still learning the discharge rate.
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0) return kTimeRemainingUnknown;
    return *seconds;
}

bool UPowerPowerSources::setOnChange(std::function<void()> onChange) {
    if (!subscribed_ && !subscribe()) {
        onChange_ = nullptr;
        coalesce_.stop();
        log_.error("Cannot subscribe to UPower's property changes on this bus connection");
        return false;
    }
    onChange_ = std::move(onChange);
    return true;
}

void UPowerPowerSources::stopNotifications() {
    onChange_ = nullptr;
    coalesce_.stop();
    unsubscribe();
}

bool UPowerPowerSources::subscribe() {
    for (const char* path : {kDisplayDevicePath, kDaemonPath}) {
        if (!bus_.connect(kService, path, kPropertiesInterface, "PropertiesChanged", this,
                          SLOT(onPropertiesChanged(QDBusMessage)))) {
            unsubscribe();
            return false;
        }
        subscribed_ = true;
    }
    return true;
}

void UPowerPowerSources::unsubscribe() {
    if (!subscribed_) return;
    for (const char* path : {kDisplayDevicePath, kDaemonPath}) {
        bus_.disconnect(kService, path, kPropertiesInterface, "PropertiesChanged", this,
                        SLOT(onPropertiesChanged(QDBusMessage)));
    }
    subscribed_ = false;
}

void UPowerPowerSources::onPropertiesChanged(const QDBusMessage&) {
    // A signal already queued when notifications stopped finds no callback.
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
