// What the XEmbed tray helper reads from the bus, sent by a hostile peer over a private bus: menu
// layouts and item properties with wrong types, absurd sizes and deep nesting.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QtEndian>

#include "XEmbedHost/DBusMenuLayout.h"
#include "XEmbedHost/StatusItemLook.h"

namespace {

/// A layout node as a peer may send it: the children are any variants.
struct RawNode {
    int id = 0;
    QVariantMap properties;
    QList<QDBusVariant> children;
};
struct RawPixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};
struct RawToolTip {
    QString iconName;
    QList<RawPixmap> pixmaps;
    QString title, body;
};

}  // namespace

Q_DECLARE_METATYPE(RawNode)
Q_DECLARE_METATYPE(RawPixmap)
Q_DECLARE_METATYPE(RawToolTip)

namespace {

QDBusArgument& operator<<(QDBusArgument& out, const RawNode& node) {
    out.beginStructure();
    out << node.id << node.properties;
    out.beginArray(qMetaTypeId<QDBusVariant>());
    for (const auto& child : node.children) out << child;
    out.endArray();
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, RawNode&) {
    return in;  // only ever sent
}
QDBusArgument& operator<<(QDBusArgument& out, const RawPixmap& pixmap) {
    out.beginStructure();
    out << pixmap.width << pixmap.height << pixmap.data;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, RawPixmap&) {
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const RawToolTip& tip) {
    out.beginStructure();
    out << tip.iconName << tip.pixmaps << tip.title << tip.body;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, RawToolTip&) {
    return in;
}

QDBusVariant child(const RawNode& node) {
    return QDBusVariant(QVariant::fromValue(node));
}

/// Answers every call with the arguments the test set.
class Peer : public QDBusVirtualObject {
public:
    QList<QVariant> answer;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        connection.send(message.createReply(answer));
        return true;
    }
};

class BusReplyParsingTest : public ::testing::Test {
protected:
    void SetUp() override {
        qDBusRegisterMetaType<RawNode>();
        qDBusRegisterMetaType<RawPixmap>();
        qDBusRegisterMetaType<QList<RawPixmap>>();
        qDBusRegisterMetaType<RawToolTip>();
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000))
            GTEST_SKIP() << "no dbus-daemon";
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        peerBus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "peer"));
        helperBus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "helper"));
        ASSERT_TRUE(peerBus_->isConnected() && helperBus_->isConnected());
        ASSERT_TRUE(peerBus_->registerVirtualObject("/Peer", &peer_));
    }
    void TearDown() override {
        peerBus_.reset();
        helperBus_.reset();
        QDBusConnection::disconnectFromBus("peer");
        QDBusConnection::disconnectFromBus("helper");
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    /// The reply the helper's connection receives when the peer answers with `answer`.
    QDBusMessage replyWith(const QList<QVariant>& answer) {
        peer_.answer = answer;
        auto call = QDBusMessage::createMethodCall(peerBus_->baseService(), "/Peer", "x.Test", "Ask");
        QDBusPendingCallWatcher watcher(helperBus_->asyncCall(call, 5000));
        QDeadlineTimer deadline(5000);
        while (!watcher.isFinished() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return watcher.reply();
    }

    QProcess daemon_;
    Peer peer_;
    std::unique_ptr<QDBusConnection> peerBus_, helperBus_;
};

TEST(DBusMenuLabelTest, AccessKeysAndAmpersandsBecomeQtsOwn) {
    const std::vector<std::pair<QString, QString>> cases{
        {"_Open", "&Open"},
        {"Tom & Jerry", "Tom && Jerry"},
        {"snake__case", "snake_case"},
        {"_a_b", "&a_b"},
        {"end_", "end_"},
        {"__init__", "_init_"},
        {"Q&_A", "Q&&&A"},
        {"", ""},
    };
    for (const auto& [dbus, qt] : cases) EXPECT_EQ(torvel::qtMenuLabel(dbus), qt) << dbus.toStdString();
}

TEST(DBusMenuEntryTest, WrongTypesAndSizesAreLeftAtTheirDefaults) {
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x');
    const auto good = torvel::menuEntryFrom(7, {{"label", "_Quit"},
                                                {"enabled", false},
                                                {"toggle-type", "checkmark"},
                                                {"toggle-state", 1},
                                                {"icon-name", "torvel-active-symbolic"},
                                                {"icon-data", png},
                                                {"children-display", "submenu"}});
    EXPECT_EQ(good.id, 7);
    EXPECT_EQ(good.label, "&Quit");
    EXPECT_FALSE(good.enabled);
    EXPECT_EQ(good.toggle, torvel::HostMenuEntry::Toggle::checkmark);
    EXPECT_TRUE(good.checked);
    EXPECT_EQ(good.iconName, "torvel-active-symbolic");
    EXPECT_EQ(good.iconData, png);
    EXPECT_TRUE(good.submenu);

    const auto bad = torvel::menuEntryFrom(8, {{"label", 42},
                                               {"enabled", "false"},
                                               {"visible", 0},
                                               {"toggle-type", "radio"},
                                               {"toggle-state", "1"},
                                               {"icon-name", "../../etc/passwd"},
                                               {"icon-data", QByteArray("GIF89a")},
                                               {"type", 3}});
    EXPECT_EQ(bad.label, "");
    EXPECT_TRUE(bad.enabled) << "a string is not a boolean";
    EXPECT_TRUE(bad.visible);
    EXPECT_FALSE(bad.checked) << "a string is not a toggle state";
    EXPECT_EQ(bad.iconName, "") << "an icon name is not a path";
    EXPECT_TRUE(bad.iconData.isEmpty()) << "only PNG";
    EXPECT_FALSE(bad.separator);

    const auto huge =
        torvel::menuEntryFrom(9, {{"label", QString(100000, 'a')},
                                  {"icon-data", png + QByteArray(torvel::kMaxMenuIconBytes, 'x')},
                                  {"toggle-type", "checkmark"},
                                  {"toggle-state", 2}});
    EXPECT_EQ(huge.label.size(), torvel::kMaxMenuLabelLength);
    EXPECT_TRUE(huge.iconData.isEmpty());
    EXPECT_FALSE(huge.checked) << "indeterminate shows as off";
}

TEST_F(BusReplyParsingTest, MenuLayoutKeepsWellFormedEntriesAndBoundsTheRest) {
    RawNode submenu{3, {{"label", "Sleep _for"}, {"children-display", "submenu"}}, {}};
    submenu.children << child({4, {{"label", "1 hour"}}, {}});
    RawNode root{0, {{"children-display", "submenu"}}, {}};
    root.children << child({1, {{"label", "Turn On"}}, {}}) << child({2, {{"type", "separator"}}, {}})
                  << child(submenu) << QDBusVariant(QVariant(17))   // not a node
                  << QDBusVariant(QVariant(QString("(ia{sv}av)")))  // a string that looks like one
                  << child({-5, {{"label", "no id"}}, {}});         // ids of entries are positive
    const auto layout = torvel::menuLayoutFrom(replyWith({QVariant(uint(12)), QVariant::fromValue(root)}));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->revision, 12u);
    const auto& entries = layout->root.children;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].label, "Turn On");
    EXPECT_TRUE(entries[1].separator);
    EXPECT_TRUE(entries[2].submenu);
    EXPECT_EQ(entries[2].label, "Sleep &for");
    ASSERT_EQ(entries[2].children.size(), 1u);
    EXPECT_EQ(entries[2].children[0].id, 4);

    // Not a layout: an error, another signature.
    EXPECT_FALSE(torvel::menuLayoutFrom(replyWith({QVariant(QString("no"))})));
    EXPECT_FALSE(torvel::menuLayoutFrom(replyWith({QVariant(uint(1)), QVariant(QString("x"))})));

    // Nested deeper than a menu goes: cut at the bound.
    RawNode deep{1, {{"label", "level"}}, {}};
    for (int level = 0; level < 14; ++level) {
        RawNode parent{level + 2, {{"label", "level"}}, {}};
        parent.children << child(deep);
        deep = parent;
    }
    RawNode deepRoot{0, {}, {}};
    deepRoot.children << child(deep);
    const auto cut = torvel::menuLayoutFrom(replyWith({QVariant(uint(1)), QVariant::fromValue(deepRoot)}));
    ASSERT_TRUE(cut);
    int depth = 0;
    for (const auto* entry = &cut->root; !entry->children.empty(); entry = &entry->children[0]) ++depth;
    EXPECT_EQ(depth, torvel::kMaxMenuDepth);

    // More entries than a menu holds: the first ones are kept.
    RawNode wide{0, {}, {}};
    for (int i = 1; i <= torvel::kMaxMenuEntries + 200; ++i)
        wide.children << child({i, {{"label", "x"}}, {}});
    const auto kept = torvel::menuLayoutFrom(replyWith({QVariant(uint(1)), QVariant::fromValue(wide)}));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->root.children.size(), static_cast<std::size_t>(torvel::kMaxMenuEntries));
    EXPECT_EQ(kept->root.children.back().id, torvel::kMaxMenuEntries);
}

TEST_F(BusReplyParsingTest, ItemImagesMustMatchTheirSizeAndTheRestItsType) {
    QByteArray red;  // 2x1, ARGB big-endian: opaque red, half-transparent blue
    for (quint32 pixel : {0xffff0000u, 0x800000ffu}) {
        const quint32 big = qToBigEndian(pixel);
        red.append(reinterpret_cast<const char*>(&big), 4);
    }
    const QList<RawPixmap> pixmaps{{2, 1, red},
                                   {3, 3, QByteArray(35, 'x')},                 // a byte short
                                   {300, 300, QByteArray(300 * 300 * 4, 'x')},  // too large
                                   {-2, -2, QByteArray(16, 'x')},               // negative sizes
                                   {65536, 65536, QByteArray()}};               // overflows w*h*4
    const RawToolTip tip{"", {{1, 1, QByteArray(3, 'x')}}, "Torvel", "Torvel is <b>off</b>"};
    const QVariantMap properties{{"IconPixmap", QVariant::fromValue(pixmaps)},
                                 {"IconName", "torvel-inactive-symbolic"},
                                 {"IconThemePath", "/usr/share/icons"},
                                 {"ToolTip", QVariant::fromValue(tip)},
                                 {"Status", "Active"},
                                 {"Menu", QVariant::fromValue(QDBusObjectPath("/MenuBar"))}};
    const auto look = torvel::statusItemLookFrom(torvel::propertiesFrom(replyWith({properties})));
    ASSERT_EQ(look.pixmaps.size(), 1u);
    EXPECT_EQ(look.pixmaps[0].size(), QSize(2, 1));
    EXPECT_EQ(look.pixmaps[0].pixel(0, 0), 0xffff0000u);
    EXPECT_EQ(look.pixmaps[0].pixel(1, 0), 0x800000ffu);
    EXPECT_EQ(look.iconName, "torvel-inactive-symbolic");
    EXPECT_EQ(look.toolTip, "Torvel\nTorvel is <b>off</b>");
    EXPECT_FALSE(look.passive);
    EXPECT_EQ(look.menuPath, "/MenuBar");

    // Every property of the wrong type: nothing is taken, the title stands in for the tooltip.
    const QVariantMap wrong{
        {"IconPixmap", QVariant(QString("pixels"))}, {"IconName", 5},     {"IconThemePath", "relative/icons"},
        {"ToolTip", QVariant(QString("tip"))},       {"Title", "Torvel"}, {"Status", "Passive"},
        {"Menu", QVariant(QString("/MenuBar"))}};
    const auto fallback = torvel::statusItemLookFrom(torvel::propertiesFrom(replyWith({wrong})));
    EXPECT_TRUE(fallback.pixmaps.empty());
    EXPECT_EQ(fallback.iconName, "");
    EXPECT_EQ(fallback.iconThemePath, "");
    EXPECT_EQ(fallback.toolTip, "Torvel");
    EXPECT_TRUE(fallback.passive);
    EXPECT_EQ(fallback.menuPath, "") << "a string is not an object path";

    // Not a property map at all.
    EXPECT_TRUE(torvel::propertiesFrom(replyWith({QVariant(7)})).isEmpty());
}

}  // namespace
