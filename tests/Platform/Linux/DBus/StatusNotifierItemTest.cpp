// The status item called by a second connection on a private bus as a panel host would call it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BusSignalRecorder.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "PrivateBuses.h"
#include "Tray/StatusNotifierItem.h"
#include "Tray/TrayIconArt.h"

namespace torvel {
namespace {

constexpr const char* kIcons = TORVEL_BUILD_SHARE "/icons";
constexpr const char* kItem = "org.kde.StatusNotifierItem";

class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses_.unavailableReason().empty()) GTEST_SKIP() << buses_.unavailableReason();
        host_.emplace(buses_, PrivateBuses::Bus::session, "item-host");
        const auto server = buses_.connection(PrivateBuses::Bus::session);
        item_ = std::make_unique<StatusNotifierItem>(server, kIcons, log_);
        activated_ = item_->activated.connect([this] { ++activations_; });
        token_ =
            item_->activationToken.connect([this](const std::string& token) { tokens_.push_back(token); });
        ASSERT_TRUE(item_->start()) << "no watcher is needed to offer the item";
        service_ = server.baseService();
    }

    QDBusMessage call(const QString& method, const QList<QVariant>& args, const QString& interface = kItem) {
        return host_->call(service_, "/StatusNotifierItem", interface, method, args);
    }
    QVariant property(const char* name) {
        return call("Get", {QString(kItem), QString(name)}, "org.freedesktop.DBus.Properties")
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }

    PrivateBuses buses_{false};
    CapturingLogSink log_;
    std::optional<BusPeer> host_;
    std::unique_ptr<StatusNotifierItem> item_;
    QString service_;
    int activations_ = 0;
    std::vector<std::string> tokens_;
    Connection activated_, token_;
};

TEST_F(StatusNotifierItemTest, ClicksOfEveryHostToggleAndUnknownCallsSayUnknownMethod) {
    EXPECT_EQ(call("Activate", {0, 0}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call("SecondaryActivate", {0, 0}).type(), QDBusMessage::ReplyMessage);
    // GNOME's host sends a middle click so, and falls back on SecondaryActivate only on UnknownMethod.
    EXPECT_EQ(call("XAyatanaSecondaryActivate", {0u}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(activations_, 3);
    EXPECT_EQ(call("ProvideXdgActivationToken", {QString("token-1")}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(tokens_, std::vector<std::string>{"token-1"});

    EXPECT_EQ(call("XAyatanaFrobnicate", {0u}).errorName(), "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_EQ(call("Activate", {QString("0"), 0}).errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(call("XAyatanaSecondaryActivate", {0, 0}).errorName(),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(call("Activate", {0, 0}, "org.example.Other").errorName(),
              "org.freedesktop.DBus.Error.UnknownInterface");
    EXPECT_EQ(activations_, 3);
    const auto introspection = call("Introspect", {}, "org.freedesktop.DBus.Introspectable");
    EXPECT_TRUE(introspection.arguments().value(0).toString().contains("\"XAyatanaSecondaryActivate\""));
}

TEST_F(StatusNotifierItemTest, StatusAndTitleFollowThePresentationAndHostsHearOnlyChanges) {
    BusSignalRecorder heard(host_->connection(), kItem);
    StatusItemPresentation shown;
    shown.iconName = "torvel-inactive-symbolic";
    shown.accessibleText = "Torvel is off";
    item_->setPresentation(shown);
    EXPECT_EQ(property("Status").toString(), "Active");
    EXPECT_EQ(property("Title").toString(), "Torvel") << "a presentation without a title still names Torvel";
    QCoreApplication::processEvents();  // the signals of the first presentation, sent before the answers

    heard.clear();
    shown.needsAttention = true;
    shown.tooltipTitle = "Torvel: 24 min left";
    item_->setPresentation(shown);
    item_->setPresentation(shown);
    EXPECT_EQ(property("Status").toString(), "NeedsAttention");
    QCoreApplication::processEvents();
    EXPECT_EQ(heard.count("NewStatus"), 1u);
    EXPECT_EQ(heard.count("NewTitle"), 1u);
    EXPECT_EQ(heard.count("NewToolTip"), 1u);
    EXPECT_EQ(heard.count("NewIcon"), 0u);
    EXPECT_EQ(heard.heard().size(), 3u) << "the same presentation again tells nothing";
    for (const auto& signal : heard.heard()) {
        if (signal.member() == "NewStatus") {
            EXPECT_EQ(signal.arguments().value(0).toString(), "NeedsAttention");
        }
    }
    EXPECT_EQ(property("Title").toString(), "Torvel: 24 min left");
}

// A busy shell can take the item after the registration call gave up: its announcement settles it.
TEST_F(StatusNotifierItemTest, AWatcherThatAnnouncesTheItemHoldsItWhateverItsAnswer) {
    std::vector<bool> answers;
    Connection told = item_->registration.connect([&](bool held) { answers.push_back(held); });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return answers.size() == 1; })) << "no watcher yet: refused";
    QDBusConnection watcher = host_->connection();
    // This watcher exports nothing: the registration fails as an unanswered one would.
    ASSERT_TRUE(watcher.registerService(StatusNotifierItem::kWatcherService));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return answers.size() == 2; }));
    EXPECT_FALSE(item_->isRegistered());

    const auto announce = [&](const QString& service) {
        auto signal = QDBusMessage::createSignal("/StatusNotifierWatcher", StatusNotifierItem::kWatcherService,
                                                 "StatusNotifierItemRegistered");
        signal << service;
        watcher.send(signal);
    };
    announce(":1.999/StatusNotifierItem");  // another program's item
    announce(service_ + "/Other");
    announce(service_ + "/StatusNotifierItem");
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return item_->isRegistered(); }));
    announce(service_);  // said again in another spelling: no news
    property("Status");   // a round trip: the announcement before it has been handled
    EXPECT_EQ(answers, (std::vector<bool>{false, false, true}));
}

// IconPixmap as a host reads it: (width, height, ARGB32 bytes) for each size.
std::vector<TrayPixmap> pixmapsIn(const QVariant& property) {
    std::vector<TrayPixmap> out;
    const auto argument = property.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray data;
        argument.beginStructure();
        argument >> width >> height >> data;
        argument.endStructure();
        EXPECT_EQ(width, height);
        out.push_back({width, data.toStdString()});
    }
    argument.endArray();
    return out;
}

TEST_F(StatusNotifierItemTest, PixmapsFollowThePortalsColourSchemeAndHostsAreToldToRedraw) {
    constexpr const char* kIcon = "torvel-active-symbolic";
    const auto folder = trayPixmapFolder(kIcons);
    const auto dark = loadTrayPixmaps(folder, kIcon, GlyphShade::dark);
    const auto light = loadTrayPixmaps(folder, kIcon, GlyphShade::light);
    ASSERT_EQ(dark.size(), kTrayPixmapSizes.size());
    ASSERT_EQ(light.size(), kTrayPixmapSizes.size());
    BusSignalRecorder heard(host_->connection(), kItem);
    StatusItemPresentation shown;
    shown.iconName = kIcon;
    item_->setPresentation(shown);
    // No portal ran at start: the dark glyph, as most panels are light.
    EXPECT_EQ(pixmapsIn(property("IconPixmap")), dark);

    // A portal that starts later and announces a dark scheme: the light glyph, and hosts hear of it.
    BusPeer portal(buses_, PrivateBuses::Bus::session, "portal");
    ASSERT_TRUE(portal.connection().interface()->registerService("org.freedesktop.portal.Desktop").isValid());
    const auto announce = [&](const QVariant& value) {
        auto signal = QDBusMessage::createSignal("/org/freedesktop/portal/desktop",
                                                 "org.freedesktop.portal.Settings", "SettingChanged");
        signal << QString("org.freedesktop.appearance") << QString("color-scheme")
               << QVariant::fromValue(QDBusVariant(value));
        ASSERT_TRUE(portal.connection().send(signal));
    };
    QCoreApplication::processEvents();
    heard.clear();
    announce(1u);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return heard.count("NewIcon") == 1; }));
    EXPECT_EQ(pixmapsIn(property("IconPixmap")), light);
    EXPECT_EQ(heard.count("NewToolTip"), 1u);
    // "Prefers light" and then "no preference" both want the dark glyph: one redraw, not two; a
    // malformed value changes nothing.
    announce(2u);
    announce(QString("light"));
    announce(0u);
    announce(1u);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return heard.count("NewIcon") == 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(heard.count("NewIcon"), 3u);
    EXPECT_EQ(pixmapsIn(property("IconPixmap")), light);
}

}  // namespace
}  // namespace torvel
