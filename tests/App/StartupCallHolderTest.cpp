// Calls that reach Torvel while it is still starting are kept and answered once it is ready.
#include "App/StartupCallHolder.h"
#include "TorvelProcess.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>

namespace torvel {
namespace {

constexpr const char* kName = "com.torvel.Torvel";
constexpr const char* kPath = "/com/torvel/Torvel";

// Stands in for an exported object: answers Echo with its arguments and anything else with an error.
class EchoObject : public QDBusVirtualObject {
public:
    explicit EchoObject(QString tag) : tag_(std::move(tag)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "Echo") {
            connection.send(
                message.createReply(QList<QVariant>{tag_ + ":" + message.arguments().value(0).toString()}));
        } else {
            connection.send(
                message.createErrorReply("com.torvel.Test.Error.Refused", "no " + message.member()));
        }
        return true;
    }

private:
    QString tag_;
};

using apptest::processEventsUntil;

TEST(StartupCallHolder, CallsThatArriveBeforeTheObjectsExistAreAnsweredByThemLater) {
    apptest::PrivateBus bus("holder-instance");
    if (!bus.connected()) GTEST_SKIP() << "dbus-daemon did not start";
    {
        QDBusConnection& instance = bus.connection();
        auto caller = QDBusConnection::connectToBus(bus.address(), "holder-caller");
        ASSERT_TRUE(caller.isConnected());

        StartupCallHolder holder(instance, kPath);
        ASSERT_TRUE(holder.install());
        ASSERT_TRUE(instance.interface()->registerService(kName).isValid());

        // Sent the moment the name is there, while the instance has not built anything yet.
        auto call = [&](const QString& path, const QString& member) {
            auto message = QDBusMessage::createMethodCall(kName, path, "com.torvel.Torvel1", member);
            message << QString("early");
            return caller.asyncCall(message, 5000);
        };
        QDBusPendingCall echo = call(kPath, "Echo");
        QDBusPendingCall below = call(QString(kPath) + "/Simulation", "Echo");
        QDBusPendingCall refused = call(kPath, "Activate");
        ASSERT_TRUE(processEventsUntil([&] { return holder.heldCount() == 3; }))
            << "held " << holder.heldCount();
        EXPECT_FALSE(echo.isFinished())
            << "nothing is answered, and nothing refused, before the objects exist";

        EchoObject main("main"), simulation("sim");
        holder.release([&] {
            ASSERT_TRUE(instance.registerVirtualObject(kPath, &main));
            ASSERT_TRUE(instance.registerVirtualObject(QString(kPath) + "/Simulation", &simulation));
        });
        EXPECT_EQ(holder.heldCount(), 0);
        ASSERT_TRUE(processEventsUntil(
            [&] { return echo.isFinished() && below.isFinished() && refused.isFinished(); }));
        EXPECT_EQ(echo.reply().arguments().value(0).toString(), "main:early");
        EXPECT_EQ(below.reply().arguments().value(0).toString(), "sim:early");
        EXPECT_EQ(refused.reply().errorName(), "com.torvel.Test.Error.Refused")
            << "errors reach the caller unchanged";
        EXPECT_EQ(refused.reply().errorMessage(), "no Activate");

        instance.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    }
    QDBusConnection::disconnectFromBus("holder-caller");
}

}  // namespace
}  // namespace torvel
