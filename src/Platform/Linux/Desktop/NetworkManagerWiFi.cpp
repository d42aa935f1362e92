#include "Platform/Linux/Desktop/NetworkManagerWiFi.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <string>
#include <utility>

#include "Models/SSIDText.h"

namespace torvel {

namespace {

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kManagerPath = "/org/freedesktop/NetworkManager";
constexpr const char* kManagerInterface = "org.freedesktop.NetworkManager";
constexpr const char* kDeviceInterface = "org.freedesktop.NetworkManager.Device";
constexpr const char* kWirelessInterface = "org.freedesktop.NetworkManager.Device.Wireless";
constexpr const char* kAccessPointInterface = "org.freedesktop.NetworkManager.AccessPoint";
constexpr const char* kActiveConnectionInterface = "org.freedesktop.NetworkManager.Connection.Active";
constexpr const char* kConnectionInterface = "org.freedesktop.NetworkManager.Settings.Connection";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// NetworkManager's NMDeviceType and NMDeviceState values for a connected Wi-Fi device.
constexpr unsigned kTypeWiFi = 2;
constexpr unsigned kStateActivated = 100;

QVariant unwrap(const QVariant& value) {
    return value.userType() == qMetaTypeId<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

std::optional<unsigned> unsignedValue(const QVariant& value) {
    return value.typeId() == QMetaType::UInt ? std::optional(value.toUInt()) : std::nullopt;
}

std::optional<QString> objectPath(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
    return std::nullopt;
}

// The Ssid bytes, empty for a hidden network, or std::nullopt when the sender put anything else there.
std::optional<QByteArray> ssidBytes(const QVariant& value) {
    QByteArray bytes;
    if (value.typeId() == QMetaType::QByteArray) {
        bytes = value.toByteArray();
    } else if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("ay")) return std::nullopt;
        argument >> bytes;
    } else {
        return std::nullopt;
    }
    if (bytes.size() > NetworkManagerWiFi::kMaxSSIDBytes) return std::nullopt;
    return bytes;
}

// The "ssid" of the "802-11-wireless" group of a connection's settings (a{sa{sv}}); std::nullopt when
// there is none, it is empty or the reply has another shape.
std::optional<QByteArray> profileSSID(const QDBusMessage& reply) {
    const auto arguments = reply.arguments();
    if (arguments.isEmpty() || arguments.at(0).userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const auto argument = arguments.at(0).value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{sa{sv}}")) return std::nullopt;
    std::optional<QByteArray> found;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString group;
        QVariantMap values;
        argument.beginMapEntry();
        argument >> group >> values;
        argument.endMapEntry();
        if (group == QLatin1String("802-11-wireless") && values.contains("ssid"))
            found = ssidBytes(unwrap(values.value("ssid")));
    }
    argument.endMap();
    if (found && found->isEmpty()) return std::nullopt;
    return found;
}

QDBusMessage getProperty(const QString& path, const char* interface, const char* name) {
    auto call = QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, "Get");
    call << QString(interface) << QString(name);
    return call;
}

}  // namespace

NetworkManagerWiFi::NetworkManagerWiFi(QDBusConnection system, LogSink& log)
    : log_(log, "WiFi"), networkManager_(std::move(system), kService) {
    QDBusConnection bus = networkManager_.bus();
    if (!bus.isConnected()) {
        log_.error("No system bus: Wi-Fi counts as off");
        absenceLogged_ = true;
        return;
    }
    subscribed_ = bus.connect(kService, kManagerPath, kManagerInterface, "DeviceAdded", this,
                              SLOT(onDeviceAdded(QDBusMessage))) &&
                  bus.connect(kService, kManagerPath, kManagerInterface, "DeviceRemoved", this,
                              SLOT(onDeviceRemoved(QDBusMessage)));
    if (!subscribed_) log_.error("Cannot subscribe to NetworkManager's changes on this bus connection");
    owner_ = networkManager_.ownerChanged.connect([this](const QString& owner) { ownerChanged(owner); });
    fetchDevices();
}

// Qt drops the signal subscriptions and the pending calls (children of this) with the object.
NetworkManagerWiFi::~NetworkManagerWiFi() = default;

WiFiReading NetworkManagerWiFi::read() {
    return pendingNames_.empty() ? current() : last_;
}

WiFiReading NetworkManagerWiFi::current() const {
    WiFiReading reading;
    for (const auto& [path, device] : devices_) {
        if (unsignedValue(device.device->value("DeviceType")) != kTypeWiFi ||
            unsignedValue(device.device->value("State")) != kStateActivated || device.activeAccessPoint == "/")
            continue;
        reading.isConnected = true;
        const auto found = ssids_.find(device.activeAccessPoint);
        if (found != ssids_.end() && found->second)
            reading.ssids.push_back(
                ssidFromBytes(std::string_view(found->second->constData(), found->second->size())));
    }
    // Object paths sort "/Devices/10" before "/Devices/9": the names are put in an order of their own.
    std::ranges::sort(reading.ssids);
    reading.ssids.erase(std::unique(reading.ssids.begin(), reading.ssids.end()), reading.ssids.end());
    return reading;
}

bool NetworkManagerWiFi::setOnChange(std::function<void()> onChange) {
    onChange_ = subscribed_ ? std::move(onChange) : nullptr;
    return subscribed_;
}

void NetworkManagerWiFi::ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> then,
                             std::function<void()> otherwise) {
    networkManager_.ask(call, this,
                        [this, then = std::move(then), otherwise = std::move(otherwise)](const QDBusMessage& reply) {
                            if (reply.type() == QDBusMessage::ReplyMessage) return then(reply);
                            failed(reply);
                            if (otherwise) otherwise();
                        });
}

void NetworkManagerWiFi::failed(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner") {
        if (!std::exchange(absenceLogged_, true))
            log_.info("NetworkManager is not on the system bus: Wi-Fi counts as off");
        return;
    }
    // A device or access point that went away between the signal and the call says so here.
    log_.debug("NetworkManager did not answer: {} {}", name.toStdString(),
               reply.errorMessage().toStdString());
}

void NetworkManagerWiFi::fetchDevices() {
    ask(QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, "GetDevices"),
        [this](const QDBusMessage& reply) {
            const auto arguments = reply.arguments();
            if (arguments.isEmpty() || arguments.at(0).userType() != qMetaTypeId<QDBusArgument>()) return;
            const auto argument = arguments.at(0).value<QDBusArgument>();
            if (argument.currentSignature() != QLatin1String("ao")) return;
            for (const auto& path : qdbus_cast<QList<QDBusObjectPath>>(argument)) fetchDevice(path.path());
        });
}

void NetworkManagerWiFi::fetchDevice(const QString& path) {
    Device& device = devices_[path];
    device.device = std::make_unique<BusPropertyFollower>(
        networkManager_, path, kDeviceInterface, [this, path] { deviceChanged(path); },
        [this](const QDBusMessage& error) { failed(error); });
}

void NetworkManagerWiFi::deviceChanged(const QString& path) {
    const auto found = devices_.find(path);
    if (found == devices_.end()) return;
    Device& device = found->second;
    if (unsignedValue(device.device->value("DeviceType")) == kTypeWiFi && !device.wireless) {
        device.wireless = std::make_unique<BusPropertyFollower>(
            networkManager_, path, kWirelessInterface, [this, path] { wirelessChanged(path); },
            [this](const QDBusMessage& error) { failed(error); });
    }
    const auto state = unsignedValue(device.device->value("State"));
    const bool activated = state == kStateActivated && device.state != state;
    device.state = state;
    // A name looked up too early (a hidden network's connection not yet active) is looked up again.
    const QString accessPoint = device.activeAccessPoint;
    const auto name = ssids_.find(accessPoint);
    if (activated && name != ssids_.end() && !name->second && !pendingNames_.contains(accessPoint))
        return followAccessPoint(accessPoint);
    changed();
}

void NetworkManagerWiFi::wirelessChanged(const QString& path) {
    const auto found = devices_.find(path);
    if (found == devices_.end()) return;
    // The scans change other properties often; only the active access point matters here.
    const QString accessPoint = objectPath(found->second.wireless->value("ActiveAccessPoint")).value_or("/");
    if (accessPoint == found->second.activeAccessPoint) return;
    setActiveAccessPoint(path, accessPoint);
}

void NetworkManagerWiFi::followAccessPoint(const QString& path) {
    pendingNames_.insert(path);
    AccessPoint& accessPoint = followed_[path];
    accessPoint.heard.reset();
    accessPoint.properties.reset();  // unsubscribed before the new one subscribes
    accessPoint.properties = std::make_unique<BusPropertyFollower>(
        networkManager_, path, kAccessPointInterface, [this, path] { accessPointChanged(path); },
        [this, path](const QDBusMessage& error) {
            failed(error);
            setSSID(path, std::nullopt);
        });
}

void NetworkManagerWiFi::accessPointChanged(const QString& path) {
    const auto found = followed_.find(path);
    if (found == followed_.end() || !found->second.properties->properties()) return;
    // The signal strength changes often; only a new name is news.
    const QVariant ssid = found->second.properties->value("Ssid");
    if (found->second.heard == ssid) return;
    found->second.heard = ssid;
    takeSSID(path, ssid);
}

void NetworkManagerWiFi::takeSSID(const QString& accessPoint, const QVariant& value) {
    const auto bytes = ssidBytes(value);
    if (bytes && bytes->isEmpty()) return fetchProfileSSID(accessPoint);
    setSSID(accessPoint, bytes);
}

// A hidden network's access point has an empty Ssid until NetworkManager hears the name on the air; the
// connection it was joined with holds the name. GetSettings needs no authorisation and leaves secrets out.
void NetworkManagerWiFi::fetchProfileSSID(const QString& accessPoint) {
    const auto device = std::ranges::find_if(
        devices_, [&](const auto& entry) { return entry.second.activeAccessPoint == accessPoint; });
    if (device == devices_.end()) return setSSID(accessPoint, std::nullopt);
    pendingNames_.insert(accessPoint);
    const auto fail = [this, accessPoint] { setSSID(accessPoint, std::nullopt); };
    const auto path = [](const QDBusMessage& reply) {
        const auto found = objectPath(unwrap(reply.arguments().value(0)));
        return found && *found != "/" ? found : std::nullopt;
    };
    ask(
        getProperty(device->first, kDeviceInterface, "ActiveConnection"),
        [this, accessPoint, fail, path](const QDBusMessage& reply) {
            const auto active = path(reply);
            if (!active) return fail();
            ask(
                getProperty(*active, kActiveConnectionInterface, "Connection"),
                [this, accessPoint, fail, path](const QDBusMessage& answer) {
                    const auto connection = path(answer);
                    if (!connection) return fail();
                    ask(
                        QDBusMessage::createMethodCall(kService, *connection, kConnectionInterface,
                                                       "GetSettings"),
                        [this, accessPoint](const QDBusMessage& settings) {
                            setSSID(accessPoint, profileSSID(settings));
                        },
                        fail);
                },
                fail);
        },
        fail);
}

void NetworkManagerWiFi::setSSID(const QString& accessPoint, std::optional<QByteArray> bytes) {
    const auto found = ssids_.find(accessPoint);
    if (found != ssids_.end()) found->second = std::move(bytes);
    pendingNames_.erase(accessPoint);
    changed();
}

void NetworkManagerWiFi::setActiveAccessPoint(const QString& device, const QString& accessPoint) {
    devices_[device].activeAccessPoint = accessPoint;
    followAccessPoints();
    changed();
}

// Keeps a name, and a subscription to its changes, for exactly the active access points.
void NetworkManagerWiFi::followAccessPoints() {
    std::set<QString> active;
    for (const auto& [path, device] : devices_) {
        if (device.activeAccessPoint != "/") active.insert(device.activeAccessPoint);
    }
    for (auto it = followed_.begin(); it != followed_.end();) {
        if (active.contains(it->first)) {
            ++it;
            continue;
        }
        ssids_.erase(it->first);
        pendingNames_.erase(it->first);
        it = followed_.erase(it);
    }
    for (const auto& path : active) {
        if (followed_.contains(path)) continue;
        ssids_[path] = std::nullopt;
        followAccessPoint(path);
    }
}

void NetworkManagerWiFi::onDeviceAdded(const QDBusMessage& message) {
    if (const auto path = objectPath(message.arguments().value(0))) fetchDevice(*path);
}

void NetworkManagerWiFi::onDeviceRemoved(const QDBusMessage& message) {
    const auto path = objectPath(message.arguments().value(0));
    if (!path || devices_.erase(*path) == 0) return;
    followAccessPoints();
    changed();
}

void NetworkManagerWiFi::ownerChanged(const QString& newOwner) {
    devices_.clear();
    followAccessPoints();
    if (newOwner.isEmpty()) {
        log_.info("NetworkManager left the bus: Wi-Fi counts as off until it returns");
        absenceLogged_ = true;
    } else {
        log_.info("NetworkManager is on the bus: reading its devices");
        absenceLogged_ = false;
        fetchDevices();
    }
    changed();
}

// Tells of a change only when what read() answers changed: NetworkManager updates several properties
// for one step of a connection.
void NetworkManagerWiFi::changed() {
    if (!pendingNames_.empty()) return;
    const WiFiReading now = current();
    if (now == last_) return;
    last_ = now;
    if (onChange_) {
        const auto call = onChange_;
        call();
    }
}

}  // namespace torvel
