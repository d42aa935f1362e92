#include "Platform/Linux/Power/UPowerPowerSources.h"

#include "Platform/Linux/Helpers/BusNames.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QStringList>

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
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

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

// The a{sv} at `index` of a message, or std::nullopt when the sender put something else there.
std::optional<QVariantMap> propertyMap(const QList<QVariant>& arguments, qsizetype index) {
    if (arguments.size() <= index || !arguments.at(index).canConvert<QDBusArgument>()) return std::nullopt;
    const auto argument = arguments.at(index).value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::MapType) return std::nullopt;
    return qdbus_cast<QVariantMap>(argument);
}

}  // namespace

UPowerPowerSources::UPowerPowerSources(QDBusConnection system, LogSink& log)
    : bus_(std::move(system)), log_(log, "PowerSources") {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(kCoalesceMs);
    QObject::connect(&coalesce_, &QTimer::timeout, this, [this] { deliver(); });
    if (!bus_.isConnected()) return;

    subscribed_ = true;
    for (const char* path : {kDisplayDevicePath, kDaemonPath}) {
        subscribed_ = subscribed_ && bus_.connect(kService, path, kPropertiesInterface, "PropertiesChanged",
                                                  this, SLOT(onPropertiesChanged(QDBusMessage)));
    }
    if (!subscribed_) log_.error("Cannot subscribe to UPower's property changes on this bus connection");
    // A restarted UPower starts from scratch: what was known of the old one is dropped and asked again.
    watcher_ =
        std::make_unique<QDBusServiceWatcher>(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(
        watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
    fetchAll();
}

UPowerPowerSources::~UPowerPowerSources() {
    if (!subscribed_) return;
    for (const char* path : {kDisplayDevicePath, kDaemonPath}) {
        bus_.disconnect(kService, path, kPropertiesInterface, "PropertiesChanged", this,
                        SLOT(onPropertiesChanged(QDBusMessage)));
    }
}

void UPowerPowerSources::fetchAll() {
    fetch(kDisplayDevicePath, kDeviceInterface, &UPowerPowerSources::device_);
    fetch(kDaemonPath, kDaemonInterface, &UPowerPowerSources::daemon_);
}

void UPowerPowerSources::fetch(const char* path, const char* interface, Cached UPowerPowerSources::*slot) {
    auto call = QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, "GetAll");
    call << QString(interface);
    (this->*slot).fetching = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, watcher, path, interface, slot, generation = generation_] {
                         watcher->deleteLater();
                         if (generation != generation_) return;  // asked of a UPower that is gone
                         received(watcher->reply(), path, interface, slot);
                     });
}

void UPowerPowerSources::received(const QDBusMessage& reply, const char* path, const char* interface,
                                  Cached UPowerPowerSources::*slot) {
    Cached& cached = this->*slot;
    cached.fetching = false;
    const auto properties =
        reply.type() == QDBusMessage::ReplyMessage ? propertyMap(reply.arguments(), 0) : std::nullopt;
    if (!properties) {
        const QString error =
            reply.errorName().isEmpty() ? QStringLiteral("malformed reply") : reply.errorName();
        // Say it once per kind of failure, not for every object and restart.
        if (error != lastError_) {
            log_.error("UPower gave no properties for {}: {} {}", path, error.toStdString(),
                       reply.errorMessage().toStdString());
            lastError_ = error;
        }
        return;
    }
    if (!lastError_.isEmpty()) {
        log_.info("UPower answers again");
        lastError_.clear();
    }
    cached.properties = *properties;
    // The bus may hand us a change signal before an older answer; asking once more settles it.
    if (std::exchange(cached.stale, false)) fetch(path, interface, slot);
    announce();
}

void UPowerPowerSources::ownerChanged(const QString& newOwner) {
    ++generation_;
    device_ = {};
    daemon_ = {};
    if (newOwner.isEmpty()) {
        log_.info("UPower left the bus: no power-source information until it returns");
    } else {
        log_.info("UPower is on the bus: reading its properties");
        fetchAll();
    }
    announce();
}

PowerSourceReading UPowerPowerSources::readFirstSource() {
    const auto& device = device_.properties;
    const auto& daemon = daemon_.properties;
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
    const auto& device = device_.properties;
    const auto& daemon = daemon_.properties;
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

void UPowerPowerSources::onPropertiesChanged(const QDBusMessage& message) {
    const QString path = message.path();
    const QString interface = message.arguments().value(0).toString();
    if (path == QLatin1String(kDisplayDevicePath) && interface == QLatin1String(kDeviceInterface)) {
        apply(message, kDisplayDevicePath, kDeviceInterface, &UPowerPowerSources::device_);
    } else if (path == QLatin1String(kDaemonPath) && interface == QLatin1String(kDaemonInterface)) {
        apply(message, kDaemonPath, kDaemonInterface, &UPowerPowerSources::daemon_);
    }
}

void UPowerPowerSources::apply(const QDBusMessage& message, const char* path, const char* interface,
                               Cached UPowerPowerSources::*slot) {
    Cached& cached = this->*slot;
    if (!cached.properties) {
        // Nothing to change yet: the answer on its way may be older than this change, and without one
        // on its way (an earlier GetAll failed) ask now.
        if (cached.fetching) {
            cached.stale = true;
        } else {
            fetch(path, interface, slot);
        }
        return;
    }
    const auto changed = propertyMap(message.arguments(), 1);
    if (!changed) return;
    for (auto it = changed->cbegin(); it != changed->cend(); ++it)
        (*cached.properties)[it.key()] = it.value();
    for (const QString& name : message.arguments().value(2).toStringList()) cached.properties->remove(name);
    announce();
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
