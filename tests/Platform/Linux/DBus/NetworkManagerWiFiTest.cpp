#include "Platform/Linux/Desktop/NetworkManagerWiFi.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <signal.h>

#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/Linux/DBus/PrivateBuses.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
using Names = std::vector<std::string>;

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kManager = "/org/freedesktop/NetworkManager";
constexpr const char* kDevice = "org.freedesktop.NetworkManager.Device";
constexpr const char* kWireless = "org.freedesktop.NetworkManager.Device.Wireless";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";

// dbusmock's networkmanager template on the private system bus, with one Wi-Fi device and two access
// points. The template has no ActiveAccessPoint and writes names as UTF-8 only; both are added here.
class NetworkManagerWiFiTest : public PrivateBusTest {
protected:
    void startNetworkManager(const char* device = "wlan0") {
        ASSERT_TRUE(buses.startTemplate(Bus::system, "networkmanager", kService));
        device_ = addDevice(device);
        home_ = addAccessPoint("home", "Home");
        homeUpstairs_ = addAccessPoint("upstairs", "Home");
        office_ = addAccessPoint("office", "Office");
        cafe_ = addAccessPoint("cafe", "placeholder");
        // A Latin-1 name, as older routers send it.
        setProperty(cafe_, "org.freedesktop.NetworkManager.AccessPoint", "Ssid", QByteArray("caf\xe9"));
    }
    QString addDevice(const char* name) {
        const QString device = call(kManager, kMock, "AddWiFiDevice", {name, name, 30}).toString();
        call(device, kMock, "AddProperty", {kWireless, "ActiveAccessPoint", variant(QDBusObjectPath("/"))});
        return device;
    }
    QString addAccessPoint(const char* name, const char* ssid, const QString& device = {}) {
        return call(kManager, kMock, "AddAccessPoint",
                    {device.isEmpty() ? device_ : device, name, ssid, "00:11:22:33:44:55", 2u, 2412u, 54000u,
                     QVariant::fromValue(uchar(80)), 0u})
            .toString();
    }
    void associate(const QString& accessPoint, unsigned state, const QString& device = {}) {
        const QString path = device.isEmpty() ? device_ : device;
        setProperty(path, kWireless, "ActiveAccessPoint", QDBusObjectPath(accessPoint));
        setProperty(path, kDevice, "State", state);
    }
    template <typename T>
    void setProperty(const QString& path, const char* interface, const char* name, const T& value) {
        call(path, "org.freedesktop.DBus.Properties", "Set", {interface, name, variant(value)});
    }
    template <typename T>
    static QVariant variant(const T& value) {
        return QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)));
    }
    QVariant call(const QString& path, const char* interface, const char* method,
                  const QVariantList& arguments) {
        const auto reply = buses.call(Bus::system, kService, path, interface, method, arguments);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0);
    }
    int absenceLines() const {
        int count = 0;
        for (const auto& line : log.messages("WiFi"))
            count += line.find("not on the system bus") != std::string::npos;
        return count;
    }

    QString device_, home_, homeUpstairs_, office_, cafe_;
};

TEST_F(NetworkManagerWiFiTest, ConnectRoamDisconnectAndNetworkManagerComingAndGoingReachTheMonitor) {
    NetworkManagerWiFi wifi(system(), log);
    WiFiNetworkMonitor monitor(wifi, log);
    std::vector<Names> seen;
    auto connection = monitor.stateChanged.connect(
        [&](bool, const Names& ssids, WiFiAuthorization) { seen.push_back(ssids); });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return absenceLines() == 1; }));
    EXPECT_FALSE(wifi.read().isConnected);

    startNetworkManager();
    associate(home_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().ssids == Names{"Home"}; }));
    EXPECT_TRUE(monitor.currentState().isConnected);
    EXPECT_EQ(monitor.currentState().authorization, WiFiAuthorization::authorized);

    associate(cafe_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().ssids == Names{"caf\\xe9"}; }));

    // A name of the wrong type is no name: still connected, to a network nobody can trust.
    setProperty(cafe_, "org.freedesktop.NetworkManager.AccessPoint", "Ssid", QString("cafe"));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().ssids.empty(); }));
    EXPECT_TRUE(monitor.currentState().isConnected);

    // Activating, not yet activated: not connected.
    associate(home_, 70);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !monitor.currentState().isConnected; }));
    // Activated without an access point is not connected either: the next change seen is the network.
    seen.clear();
    associate("/", 100);
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(home_));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<Names>{{"Home"}});

    // Roaming within one network is no change at all, not even a moment without a name.
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(homeUpstairs_));
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(office_));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.back() == Names{"Office"}; }));
    EXPECT_EQ(seen, (std::vector<Names>{{"Home"}, {"Office"}}));
    for (const auto& line : log.lines()) EXPECT_EQ(line.message.find("Home"), std::string::npos);

    // NetworkManager goes: disconnected, and said so; back again, its devices are read afresh.
    seen.clear();
    ASSERT_TRUE(buses.signalOwner(Bus::system, kService, SIGKILL));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !wifi.read().isConnected; }));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return seen == std::vector<Names>{{}}; }));
    startNetworkManager();
    associate(cafe_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"caf\\xe9"}; }));
    EXPECT_EQ(absenceLines(), 1);
}

TEST_F(NetworkManagerWiFiTest, TwoAdaptersReportBothNetworksWhicheverPathSortsFirst) {
    // Paths compare as text: "/Devices/10" comes before "/Devices/9".
    startNetworkManager("9");
    const QString ten = addDevice("10");
    const QString guest = addAccessPoint("guest", "Guest", ten);
    NetworkManagerWiFi wifi(system(), log);
    associate(office_, 100);
    associate(guest, 100, ten);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"Guest", "Office"}; }));

    // The other way round: device 9 on the guest network, device 10 on the office.
    const QString guestOnNine = addAccessPoint("guest9", "Guest");
    const QString officeOnTen = addAccessPoint("office10", "Office", ten);
    associate("/", 30, ten);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"Office"}; }));
    associate(guestOnNine, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"Guest"}; }));
    associate(officeOnTen, 100, ten);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"Guest", "Office"}; }));
    associate("/", 30);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssids == Names{"Office"}; }));
}

TEST_F(NetworkManagerWiFiTest, AHiddenNetworkTakesItsNameFromTheConnection) {
    startNetworkManager();
    const QString hidden = addAccessPoint("hidden", "Lab");
    const QString hiddenToo = addAccessPoint("hidden2", "Lab2");
    const QString connection =
        call(kManager, kMock, "AddWiFiConnection", {device_, "lab", "Lab", "wpa-psk"}).toString();
    // NetworkManager has not heard either name on the air.
    for (const auto& ap : {hidden, hiddenToo})
        setProperty(ap, "org.freedesktop.NetworkManager.AccessPoint", "Ssid", QByteArray());
    NetworkManagerWiFi wifi(system(), log);
    WiFiNetworkMonitor monitor(wifi, log);
    std::vector<Names> seen;
    auto subscription = monitor.stateChanged.connect(
        [&](bool, const Names& ssids, WiFiAuthorization) { seen.push_back(ssids); });

    call(kManager, kMock, "AddActiveConnection", {QStringList{device_}, connection, hidden, "lab", 2u});
    associate(hidden, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<Names>{{"Lab"}});

    // Roaming to another hidden access point asks again, without a moment of no name.
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(hiddenToo));
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(office_));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.back() == Names{"Office"}; }));
    EXPECT_EQ(seen, (std::vector<Names>{{"Lab"}, {"Office"}}));
}

}  // namespace
}  // namespace torvel
