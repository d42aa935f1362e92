#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "Platform/Linux/Helpers/BusPropertyFollower.h"
#include "Platform/Linux/Helpers/BusService.h"
#include "Platform/Log.h"
#include "Platform/WiFi.h"

namespace torvel {

/// The Wi-Fi connection as NetworkManager sees it: connected when any wireless device (DeviceType 2) is
/// activated (State 100) with an active access point; the names are those access points' Ssid bytes in
/// the form of ssidFromBytes(), one per device. A hidden network's access point may have an empty Ssid:
/// the name then comes from the settings of the device's active connection. What is known comes from
/// the properties of every device and of the active access points, each followed from a GetAll (at
/// start, for a device that appears, for a new active access point, and whenever NetworkManager takes its
/// bus name again) and its PropertiesChanged signals; reads never call
/// NetworkManager. Without NetworkManager Wi-Fi is off, said once in the log. Linux does not hide the name,
/// so the authorisation is always authorized.
class NetworkManagerWiFi : public QObject, public WiFi {
    Q_OBJECT

public:
    /// Subscribes to NetworkManager's signals on `system` and asks for its devices, without waiting.
    NetworkManagerWiFi(QDBusConnection system, LogSink& log);
    ~NetworkManagerWiFi() override;

    WiFiReading read() override;
    /// False when the bus connection cannot subscribe to the signals.
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override { onChange_ = nullptr; }

    /// Longer names are not a network name.
    static constexpr int kMaxSSIDBytes = 32;

private Q_SLOTS:
    void onDeviceAdded(const QDBusMessage& message);
    void onDeviceRemoved(const QDBusMessage& message);

private:
    /// One device: its Device properties, and for a Wi-Fi device its Wireless ones.
    struct Device {
        std::unique_ptr<BusPropertyFollower> device;
        std::unique_ptr<BusPropertyFollower> wireless;
        /// The State last seen, to notice the step to activated.
        std::optional<unsigned> state;
        /// "/" when there is none.
        QString activeAccessPoint = QStringLiteral("/");
    };
    /// An active access point: its properties, and the Ssid last taken from them.
    struct AccessPoint {
        std::unique_ptr<BusPropertyFollower> properties;
        std::optional<QVariant> heard;
    };

    void fetchDevices();
    void fetchDevice(const QString& path);
    void deviceChanged(const QString& path);
    void wirelessChanged(const QString& path);
    /// Follows an active access point afresh and asks for its name.
    void followAccessPoint(const QString& path);
    void accessPointChanged(const QString& path);
    /// An access point's Ssid as read or announced; an empty one is looked up in the connection.
    void takeSSID(const QString& accessPoint, const QVariant& value);
    void fetchProfileSSID(const QString& accessPoint);
    /// Records the name of a followed access point (absent: unknown or malformed) and settles it.
    void setSSID(const QString& accessPoint, std::optional<QByteArray> bytes);
    /// Sends `call` and hands a successful reply to `then`, a failure to `otherwise`; neither when
    /// NetworkManager restarted meanwhile.
    void ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> then,
             std::function<void()> otherwise = {});
    /// The connection from what is known now, names on their way or not.
    WiFiReading current() const;
    void failed(const QDBusMessage& reply);
    void setActiveAccessPoint(const QString& device, const QString& accessPoint);
    void followAccessPoints();
    void ownerChanged(const QString& newOwner);
    void changed();

    Logger log_;
    std::function<void()> onChange_;
    bool subscribed_ = false;
    /// Before the followers, which need it until they are gone.
    BusService networkManager_;
    std::map<QString, Device> devices_;
    /// Names of the active access points, as read and checked; absent while unknown or malformed.
    std::map<QString, std::optional<QByteArray>> ssids_;
    /// Active access points whose changes we receive.
    std::map<QString, AccessPoint> followed_;
    /// Active access points whose name is being asked for; until it comes, the last reading stands, so
    /// roaming within one network is no change.
    std::set<QString> pendingNames_;
    bool absenceLogged_ = false;
    WiFiReading last_;
    Connection owner_;
};

}  // namespace torvel
