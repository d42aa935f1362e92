// What the resident offers the window process over the bus besides the menu's actions, against the
// torvel executable on the simulated machine: the profile order takes only the same profiles, and the
// running applications are followed exactly while a client that shows them is on the bus.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <algorithm>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Support/Localization.h"
#include "TorvelProcess.h"
#include "Windows/BusWindowModel.h"

namespace torvel {
namespace {

using apptest::processEventsUntil;
using apptest::waitUntil;

constexpr const char* kName = "com.torvel.Torvel";
constexpr const char* kInvalid = "com.torvel.Torvel1.Error.InvalidArgument";

class DBusWindowCallsTest : public apptest::HeadlessTorvelTest {
protected:
    DBusWindowCallsTest() : HeadlessTorvelTest("torvel-window-calls") {}

    void SetUp() override {
        startTorvel();
        if (IsSkipped() || HasFatalFailure()) return;
        QString error;
        ASSERT_TRUE(model_.load(error)) << error.toStdString();
    }

    QDBusMessage call(QDBusConnection bus, const QString& method, const QList<QVariant>& args = {},
                      const char* path = "/com/torvel/Torvel", const char* interface = "com.torvel.Torvel1") {
        auto message = QDBusMessage::createMethodCall(kName, path, interface, method);
        message.setArguments(args);
        return bus.call(message, QDBus::Block, 10000);
    }
    QStringList profileIDs() const {
        QStringList ids;
        for (const auto& profile : model_.profiles()) ids << QString::fromStdString(profile.id.toString());
        return ids;
    }
    /// Launches an application on the simulated machine, then lets every change it caused arrive: the
    /// resident sends its change before it answers a later call.
    void launch(const QString& id) {
        const auto reply = call(bus_.connection(), "Change", {QStringList{"launch=" + id}},
                                "/com/torvel/Torvel/Simulation", "com.torvel.Torvel1.Simulation");
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        ASSERT_EQ(call(bus_.connection(), "GetStatus").type(), QDBusMessage::ReplyMessage);
        QCoreApplication::processEvents();
    }

    CapturingLogSink log_;
    Localization texts_{log_};
    SimClock clock_;
    BusWindowModel model_{bus_.connection(), texts_, clock_, log_};
};

TEST_F(DBusWindowCallsTest, ProfileOrderTakesEveryProfileOnceAndNothingElse) {
    const QStringList ids = profileIDs();
    ASSERT_GE(ids.size(), 3);
    const QStringList refused[] = {
        ids.mid(1),                                 // one left out
        ids + QStringList{ids.first()},             // one named twice
        ids.mid(1) + QStringList{"not-a-profile"},  // one unknown
        QStringList{},                              // none
    };
    for (const auto& order : refused) {
        const auto reply = call(bus_.connection(), "SetProfileOrder", {order});
        EXPECT_EQ(reply.errorName(), kInvalid) << order.join(',').toStdString();
    }
    QStringList reversed = ids;
    std::reverse(reversed.begin(), reversed.end());
    ASSERT_EQ(call(bus_.connection(), "SetProfileOrder", {reversed}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(processEventsUntil([&] { return profileIDs() == reversed; }))
        << profileIDs().join(',').toStdString();
}

TEST_F(DBusWindowCallsTest, TheLoginSwitchAnswersWhatHoldsAndEveryClientHearsIt) {
    int told = 0;
    auto connection = model_.loginItemChanged.connect([&] { ++told; });
    ASSERT_EQ(model_.startsAtLogin(), std::optional(false));
    model_.setStartsAtLogin(true);
    ASSERT_TRUE(processEventsUntil([&] { return told > 0; }));
    EXPECT_EQ(model_.startsAtLogin(), std::optional(true));
    // Another client switches it back: the window's model hears it through the change signal.
    const auto reply = call(bus_.connection(), "SetStartsAtLogin", {false});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_FALSE(reply.arguments().value(0).toBool());
    ASSERT_TRUE(processEventsUntil([&] { return model_.startsAtLogin() == std::optional(false); }));
}

TEST_F(DBusWindowCallsTest, RunningAppsAreFollowedWhileAClientThatShowsThemIsOnTheBus) {
    QString viewerName;
    {
        auto viewer = QDBusConnection::connectToBus(bus_.address(), "viewer");
        viewerName = viewer.baseService();
        ASSERT_EQ(call(viewer, "SetRunningAppsShown", {true}).type(), QDBusMessage::ReplyMessage);
    }
    launch("org.example.Editor:Editor");
    auto listed = [&](const std::string& id) {
        const auto apps = model_.runningApplications();
        return std::any_of(apps.begin(), apps.end(),
                           [&](const RunningAppInfo& app) { return app.desktopId == id; });
    };
    EXPECT_TRUE(processEventsUntil([&] { return listed("org.example.Editor"); })) << "a launch was not told";

    // The client leaves without saying so: launches are no longer followed (nor told).
    QDBusConnection::disconnectFromBus("viewer");
    ASSERT_TRUE(waitUntil([&] { return !bus_.owns(viewerName); }));
    launch("org.example.Player:Player");
    EXPECT_FALSE(listed("org.example.Player")) << "still followed after the client left";
}

}  // namespace
}  // namespace torvel
