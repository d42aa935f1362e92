#include "Platform/Linux/NetworkManagerWiFi.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <signal.h>

#include "Monitors/WiFiNetworkMonitor.h"
#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kManager = "/org/freedesktop/NetworkManager";
constexpr const char* kDevice = "org.freedesktop.NetworkManager.Device";
constexpr const char* kWireless = "org.freedesktop.NetworkManager.Device.Wireless";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";

// dbusmock's networkmanager template on the private system bus, with one Wi-Fi device and two access
// points. The template has no ActiveAccessPoint and writes names as UTF-8 only; both are added here.
class NetworkManagerWiFiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses_.unavailableReason().empty()) GTEST_SKIP() << buses_.unavailableReason();
    }

    void startNetworkManager() {
        ASSERT_TRUE(buses_.startTemplate(Bus::system, "networkmanager", kService));
        device_ = call(kManager, kMock, "AddWiFiDevice", {"wlan0", "wlan0", 30}).toString();
        home_ = addAccessPoint("home", "Home");
        homeUpstairs_ = addAccessPoint("upstairs", "Home");
        office_ = addAccessPoint("office", "Office");
        cafe_ = addAccessPoint("cafe", "placeholder");
        call(device_, kMock, "AddProperty", {kWireless, "ActiveAccessPoint", variant(QDBusObjectPath("/"))});
        // A Latin-1 name, as older routers send it.
        setProperty(cafe_, "org.freedesktop.NetworkManager.AccessPoint", "Ssid", QByteArray("caf\xe9"));
    }
    QString addAccessPoint(const char* name, const char* ssid) {
        return call(kManager, kMock, "AddAccessPoint",
                    {device_, name, ssid, "00:11:22:33:44:55", 2u, 2412u, 54000u,
                     QVariant::fromValue(uchar(80)), 0u})
            .toString();
    }
    void associate(const QString& accessPoint, unsigned state) {
        setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(accessPoint));
        setProperty(device_, kDevice, "State", state);
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
        auto message = QDBusMessage::createMethodCall(kService, path, interface, method);
        message.setArguments(arguments);
        const auto reply = buses_.connection(Bus::system).call(message, QDBus::Block, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0);
    }
    void killNetworkManager() {
        auto message = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "GetConnectionUnixProcessID");
        message << QString(kService);
        const auto reply = buses_.connection(Bus::system).call(message, QDBus::Block, 5000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
        ASSERT_EQ(::kill(static_cast<pid_t>(reply.arguments().value(0).toUInt()), SIGKILL), 0);
    }
    int absenceLines() const {
        int count = 0;
        for (const auto& line : log_.messages("WiFi"))
            count += line.find("not on the system bus") != std::string::npos;
        return count;
    }

    PrivateBuses buses_;
    CapturingLogSink log_;
    QString device_, home_, homeUpstairs_, office_, cafe_;
};

TEST_F(NetworkManagerWiFiTest, ConnectRoamAndDisconnectReachTheMonitor) {
    startNetworkManager();
    NetworkManagerWiFi wifi(buses_.connection(Bus::system), log_);
    WiFiNetworkMonitor monitor(wifi, log_);
    std::vector<std::optional<std::string>> seen;
    monitor.setOnStateChanged(
        [&](bool, const std::optional<std::string>& ssid, WiFiAuthorization) { seen.push_back(ssid); });
    EXPECT_FALSE(wifi.read().isConnected);

    associate(home_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().ssid == "Home"; }));
    EXPECT_TRUE(monitor.currentState().isConnected);
    EXPECT_EQ(monitor.currentState().authorization, WiFiAuthorization::authorized);

    associate(cafe_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().ssid == "caf\\xe9"; }));

    // A name of the wrong type is no name: still connected, to a network nobody can trust.
    setProperty(cafe_, "org.freedesktop.NetworkManager.AccessPoint", "Ssid", QString("cafe"));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !monitor.currentState().ssid; }));
    EXPECT_TRUE(monitor.currentState().isConnected);

    // Activating, not yet activated: not connected.
    associate(home_, 70);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !monitor.currentState().isConnected; }));
    // Activated without an access point is not connected either: the next change seen is the network.
    seen.clear();
    associate("/", 100);
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(home_));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::optional<std::string>>{"Home"});

    // Roaming within one network is no change at all, not even a moment without a name.
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(homeUpstairs_));
    setProperty(device_, kWireless, "ActiveAccessPoint", QDBusObjectPath(office_));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.back() == "Office"; }));
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{"Home", "Office"}));
    for (const auto& line : log_.lines()) EXPECT_EQ(line.message.find("Home"), std::string::npos);
}

TEST_F(NetworkManagerWiFiTest, FollowsNetworkManagerLeavingAndComingBack) {
    NetworkManagerWiFi wifi(buses_.connection(Bus::system), log_);
    int announced = 0;
    ASSERT_TRUE(wifi.setOnChange([&] { ++announced; }));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return absenceLines() == 1; }));
    EXPECT_FALSE(wifi.read().isConnected);

    startNetworkManager();
    associate(home_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssid == "Home"; }));

    announced = 0;
    killNetworkManager();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !wifi.read().isConnected; }));
    EXPECT_EQ(announced, 1);

    // Back again: its devices are read afresh.
    startNetworkManager();
    associate(cafe_, 100);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return wifi.read().ssid == "caf\\xe9"; }));
    EXPECT_EQ(absenceLines(), 1);
}

}  // namespace
}  // namespace torvel
