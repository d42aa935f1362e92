// The window process's model against a Torvel that sends what it should not: values of the wrong D-Bus
// type, unknown enumeration strings, settings out of range, a damaged profile. A fake resident on a
// private bus answers in a thread of its own, as the real one answers from another process.
#include <gtest/gtest.h>

#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Support/Localization.h"
#include "TorvelProcess.h"
#include "Windows/BusWindowModel.h"

namespace torvel {
namespace {

using apptest::processEventsUntil;
using StringMap = QMap<QString, QString>;

/// Answers GetAll with `properties`, refuses SetSetting as a full disk would, and records the rest.
class FakeTorvel : public QDBusVirtualObject {
public:
    explicit FakeTorvel(QVariantMap properties) : properties_(std::move(properties)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "GetAll") {
            connection.send(message.createReply(QVariant::fromValue(properties_)));
        } else if (message.member() == "SetSetting") {
            connection.send(message.createErrorReply("com.torvel.Torvel1.Error.NotSaved",
                                                     "defaults.json: no space left on the device"));
        } else {
            connection.send(message.createReply());
        }
        const QMutexLocker lock(&mutex_);
        calls_ << message.member() + " " + message.arguments().value(0).toString();
        return true;
    }
    QStringList calls() const {
        const QMutexLocker lock(&mutex_);
        return calls_;
    }

private:
    QVariantMap properties_;
    mutable QMutex mutex_;
    QStringList calls_;
};

QVariantMap profileEntry(const QString& id, const QString& duration) {
    return {{"id", id},
            {"name", "Builds"},
            {"displayName", "Builds"},
            {"duration", duration},
            {"durationSeconds", qlonglong{3600}},
            {"assertionType", "noSystemSleep"},
            {"batteryLimit", qint32{-1}},
            {"nameKey", ""}};
}

class BusWindowModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        qDBusRegisterMetaType<StringMap>();
        qDBusRegisterMetaType<QList<QVariantMap>>();
        ASSERT_TRUE(bus_.connected());
    }
    void TearDown() override {
        if (fake_) {
            fakeBus_->unregisterObject("/com/torvel/Torvel");
            thread_.quit();
            thread_.wait();
        }
        QDBusConnection::disconnectFromBus("fake-torvel");
    }

    /// Starts the fake resident with `properties`.
    void startFake(const QVariantMap& properties) {
        fake_ = std::make_unique<FakeTorvel>(properties);
        fake_->moveToThread(&thread_);
        thread_.start();
        fakeBus_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus_.address(), "fake-torvel"));
        ASSERT_TRUE(fakeBus_->registerVirtualObject("/com/torvel/Torvel", fake_.get()));
        ASSERT_TRUE(fakeBus_->registerService("com.torvel.Torvel"));
    }
    /// Sends PropertiesChanged from the fake resident.
    void change(const QVariantMap& changed) {
        auto signal = QDBusMessage::createSignal("/com/torvel/Torvel", "org.freedesktop.DBus.Properties",
                                                 "PropertiesChanged");
        signal << QString("com.torvel.Torvel1") << changed << QStringList();
        ASSERT_TRUE(fakeBus_->send(signal));
    }

    apptest::PrivateBus bus_{"model-test"};
    QThread thread_;
    std::unique_ptr<FakeTorvel> fake_;
    std::unique_ptr<QDBusConnection> fakeBus_;
    CapturingLogSink log_;
    Localization texts_{log_};
    SimClock clock_;
};

TEST_F(BusWindowModelTest, KeepsItsValuesWhenTorvelSendsWhatDoesNotRead) {
    const QString id = "4D2B0001-0000-0000-0000-0000000000AA";
    // A profile that runs until a clock time comes with its end.
    QVariantMap untilEntry = profileEntry("4D2B0001-0000-0000-0000-0000000000AA", "until");
    untilEntry.insert("untilTime", qlonglong{1796000000});
    startFake({
        {"Settings", QVariant::fromValue(StringMap{{"guardianHours", "4"},
                                                   {"batteryLimitPercent", "999"},  // out of range
                                                   {"showRemainingTime", "maybe"},
                                                   {"someFutureSetting", "1"}})},
        {"Profiles", QVariant::fromValue(QList<QVariantMap>{profileEntry(id, "oneHour"), untilEntry})},
        {"ProfileID", id},
        {"WiFiStatus", "connected:Home:5G"},
        {"Language", "cs"},
        {"Stayguard", "incomplete"},
        {"StayguardGrants", QStringList{"suspend", "teleport"}},
        {"AutomationConsent", "denied"},
        {"TrustedNetworks", QStringList{"Home:5G"}},
    });
    BusWindowModel model(bus_.connection(), texts_, clock_, log_);
    QString error;
    ASSERT_TRUE(model.load(error)) << error.toStdString();
    EXPECT_EQ(model.settings().guardianHours, 4);
    EXPECT_EQ(model.settings().batteryLimitPercent, 20) << "a value out of range keeps the default";
    EXPECT_TRUE(model.settings().showRemainingTime);
    ASSERT_EQ(model.profiles().size(), 2u);
    EXPECT_EQ(model.profiles()[0].duration, Duration::preset(Duration::Kind::oneHour));
    EXPECT_EQ(model.profiles()[1].duration, Duration::until(Date::fromUnixSeconds(1796000000)));
    EXPECT_EQ(model.activeProfileID(), Uuid::parse(id.toStdString()));
    EXPECT_EQ(model.wifiStatus(), (TrustedWiFiStatus{TrustedWiFiStatus::Kind::connected, "Home:5G", false}));
    EXPECT_EQ(model.language(), "cs");
    EXPECT_TRUE(model.isStayguardInstalled());
    EXPECT_TRUE(model.powerGrants().suspend);
    EXPECT_EQ(model.automationConsent(), AutomationConsent::denied);
    ASSERT_EQ(model.trustedNetworks().size(), 1u);

    // Then a change where nothing reads: every value stays, and no signal says otherwise.
    int signals = 0;
    auto counted = [&] { ++signals; };
    std::vector<Connection> connections;
    connections.push_back(model.profilesChanged.connect(counted));
    connections.push_back(model.wifiStateChanged.connect(counted));
    connections.push_back(model.stayguardChanged.connect(counted));
    connections.push_back(model.emergencyChanged.connect(counted));
    connections.push_back(model.loginItemChanged.connect(counted));
    connections.push_back(model.settingChanged.connect([&](std::string_view) { ++signals; }));
    QVariantMap damaged = profileEntry("not-a-uuid", "oneHour");
    change({{"Profiles", QVariant::fromValue(QList<QVariantMap>{profileEntry(id, "fortnight")})},
            {"ProfileID", "42"},
            {"WiFiStatus", "connected"},
            {"Language", "tlh"},
            {"StartsAtLogin", "yes"},
            {"Stayguard", qint32{3}},
            {"AutomationConsent", "sure"},
            {"TrustedNetworks", "Home"},
            {"Settings", QVariant::fromValue(QList<QVariantMap>{damaged})}});
    change({{"Settings", QVariant::fromValue(StringMap{{"guardianHours", "6"}})}});
    ASSERT_TRUE(processEventsUntil([&] { return model.settings().guardianHours == 6; }));
    EXPECT_EQ(signals, 1) << "only the last, readable change is told";
    EXPECT_EQ(model.profiles().size(), 2u);
    EXPECT_EQ(model.profiles()[0].duration, Duration::preset(Duration::Kind::oneHour));
    EXPECT_EQ(model.activeProfileID(), Uuid::parse(id.toStdString()));
    EXPECT_EQ(model.wifiStatus().ssid, "Home:5G");
    EXPECT_EQ(model.language(), "cs");
    EXPECT_TRUE(model.isStayguardInstalled());
    EXPECT_EQ(model.automationConsent(), AutomationConsent::denied);
    EXPECT_EQ(model.trustedNetworks().size(), 1u);
    // Logged once per property, however often it comes.
    EXPECT_EQ(log_.messages("Windows").size(), 9u);
}

TEST_F(BusWindowModelTest, RefusedWriteComesBackAsRefusalAndTheStoredValue) {
    startFake({{"Settings", QVariant::fromValue(StringMap{{"guardianEnabled", "true"}})}});
    BusWindowModel model(bus_.connection(), texts_, clock_, log_);
    QString error;
    ASSERT_TRUE(model.load(error)) << error.toStdString();
    std::optional<SettingRefusal> refused;
    std::vector<std::string> changed;
    auto refusal = model.settingRefused.connect([&](const SettingRefusal& r) { refused = r; });
    auto change = model.settingChanged.connect([&](std::string_view key) { changed.emplace_back(key); });

    // Out of range: refused at once, nothing sent.
    const auto atOnce = model.set(&SettingsValues::guardianHours, std::int64_t{100000});
    ASSERT_TRUE(atOnce.has_value());
    EXPECT_EQ(atOnce->reason, SettingRefusal::Reason::badInput);

    EXPECT_FALSE(model.set(&SettingsValues::guardianEnabled, false).has_value());
    EXPECT_FALSE(model.settings().guardianEnabled) << "shown changed while the call is on its way";
    ASSERT_TRUE(processEventsUntil([&] { return refused.has_value(); }));
    EXPECT_EQ(refused->reason, SettingRefusal::Reason::notSaved);
    EXPECT_NE(refused->message.find("no space left"), std::string::npos);
    EXPECT_TRUE(model.settings().guardianEnabled) << "back to the stored value";
    EXPECT_EQ(changed, (std::vector<std::string>{"guardianEnabled", "guardianEnabled"}));
    EXPECT_EQ(fake_->calls().filter("SetSetting").value(0), "SetSetting guardianEnabled");
}

}  // namespace
}  // namespace torvel
