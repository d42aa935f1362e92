// The dbusmenu export of a hand-made menu, called by a second connection as a panel host would call it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "BusSignalRecorder.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "PrivateBuses.h"
#include "Tray/DBusMenuExporter.h"

namespace torvel {
namespace {

struct Node {
    int id = 0;
    QVariantMap props;
    std::vector<Node> children;
};

Node readNode(const QDBusArgument& arg) {
    Node node;
    arg.beginStructure();
    arg >> node.id >> node.props;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        node.children.push_back(readNode(child.variant().value<QDBusArgument>()));
    }
    arg.endArray();
    arg.endStructure();
    return node;
}

MenuItem item(MenuItemStyle style, const std::string& title, MenuAction action = MenuAction::none) {
    MenuItem out;
    out.style = style;
    out.title = title;
    out.action = action;
    return out;
}

MenuModel sampleMenu() {
    MenuModel menu;
    auto status = item(MenuItemStyle::info, "Awake for 25m");
    status.iconName = "timer";
    menu.items.push_back(status);
    menu.items.push_back(item(MenuItemStyle::header, "Profiles"));
    auto profile = item(MenuItemStyle::normal, "Long_build", MenuAction::profile);
    profile.checkable = profile.checked = true;
    menu.items.push_back(profile);
    menu.items.push_back(item(MenuItemStyle::separator, ""));
    auto sleepFor = item(MenuItemStyle::normal, "Keep awake for");
    sleepFor.submenu.push_back(item(MenuItemStyle::normal, "1 hour", MenuAction::duration));
    menu.items.push_back(sleepFor);
    auto active = item(MenuItemStyle::info, "Awake");
    active.iconName = "torvel-active-symbolic";
    menu.items.push_back(active);
    menu.items.push_back(item(MenuItemStyle::normal, "Quit", MenuAction::quit));
    return menu;
}

class DBusMenuExporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses_.unavailableReason().empty()) GTEST_SKIP() << buses_.unavailableReason();
        host_.emplace(buses_, PrivateBuses::Bus::session, "menu-host");
        const auto server = buses_.connection(PrivateBuses::Bus::session);
        exporter_ = std::make_unique<DBusMenuExporter>(
            server,
            [this] {
                ++builds_;
                return menu_;
            },
            [this](const MenuItem& chosen) { performed_.push_back(chosen); }, kIcons, log_);
        openChanged_ = exporter_->openChanged.connect([this](bool open) { opened_.push_back(open); });
        opening_ = exporter_->opening.connect([this] { ++openings_; });
        ASSERT_TRUE(exporter_->exportOn());
        service_ = server.baseService();
    }

    QDBusMessage call(const QString& method, const QList<QVariant>& args,
                      const QString& interface = "com.canonical.dbusmenu") {
        return host_->call(service_, "/MenuBar", interface, method, args);
    }
    Node layout(int parent = 0, int depth = -1) {
        const auto reply = call("GetLayout", {parent, depth, QStringList()});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.type() == QDBusMessage::ReplyMessage
                   ? readNode(reply.arguments().at(1).value<QDBusArgument>())
                   : Node{};
    }
    void event(int id, const char* name = "clicked") {
        call("Event", {id, QString(name), QVariant::fromValue(QDBusVariant(0)), 0u});
    }
    /// Lets a queued check run, then makes a round trip: a signal sent before it has been heard after.
    void settle() {
        QCoreApplication::processEvents();
        call("Introspect", {}, "org.freedesktop.DBus.Introspectable");
        QCoreApplication::processEvents();
    }

    PrivateBuses buses_{false};
    CapturingLogSink log_;
    std::optional<BusPeer> host_;
    std::unique_ptr<DBusMenuExporter> exporter_;
    QString service_;
    MenuModel menu_ = sampleMenu();
    std::vector<MenuItem> performed_;
    std::vector<bool> opened_;
    int openings_ = 0;
    int builds_ = 0;
    Connection openChanged_, opening_;
    static constexpr const char* kIcons = TORVEL_BUILD_SHARE "/icons";
};

TEST_F(DBusMenuExporterTest, MapsTheModelToDbusmenuItemsAndRefusesBadArguments) {
    const Node root = layout();
    EXPECT_EQ(root.id, 0);
    EXPECT_EQ(root.props["children-display"].toString(), "submenu");
    ASSERT_EQ(root.children.size(), 7u);
    const auto& c = root.children;
    EXPECT_FALSE(c[0].props["enabled"].toBool()) << "an info line is a disabled item";
    EXPECT_EQ(c[0].props["icon-name"].toString(), "timer");
    EXPECT_FALSE(c[1].props["enabled"].toBool()) << "a header is a disabled item";
    EXPECT_EQ(c[2].props["label"].toString(), "Long__build") << "an underscore would be taken as a mnemonic";
    EXPECT_EQ(c[2].props["toggle-type"].toString(), "checkmark");
    EXPECT_EQ(c[2].props["toggle-state"].toInt(), 1);
    EXPECT_FALSE(c[2].props.contains("enabled"));
    EXPECT_EQ(c[3].props, (QVariantMap{{"type", "separator"}}));
    EXPECT_EQ(c[4].props["children-display"].toString(), "submenu");
    ASSERT_EQ(c[4].children.size(), 1u);
    EXPECT_EQ(c[4].children[0].props["label"].toString(), "1 hour");
    // Torvel's own icon goes as an image: hosts draw a name they cannot find as a broken image.
    EXPECT_FALSE(c[5].props.contains("icon-name"));
    EXPECT_TRUE(c[5].props["icon-data"].toByteArray().startsWith("\x89PNG"));
    const auto themePath = call("Get", {QString("com.canonical.dbusmenu"), QString("IconThemePath")},
                                "org.freedesktop.DBus.Properties");
    EXPECT_EQ(themePath.arguments().at(0).value<QDBusVariant>().variant().toStringList(),
              QStringList{kIcons});

    std::set<int> ids{root.id, c[4].children[0].id};
    for (const auto& child : c) ids.insert(child.id);
    EXPECT_EQ(ids.size(), 9u) << "every item needs its own id";
    EXPECT_TRUE(layout(0, 0).children.empty()) << "depth 0 is the node alone";
    EXPECT_EQ(layout(c[4].id).children.size(), 1u);
    const auto label = call("GetProperty", {c[2].id, QString("label")});
    EXPECT_EQ(label.arguments().at(0).value<QDBusVariant>().variant().toString(), "Long__build");

    // Bad arguments are refused, and do nothing.
    const int quit = c[6].id;
    EXPECT_EQ(call("Event", {quit, QString("clicked")}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("Event", {QString("clicked"), quit, QVariant::fromValue(QDBusVariant(0)), 0u}).type(),
              QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("GetLayout", {424242, -1, QStringList()}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("GetProperty", {quit, QString("no-such-property")}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("GetProperty", {-7, QString("label")}).type(), QDBusMessage::ErrorMessage);
    // Hosts fall back on another method only when told the one they called does not exist.
    const QString unknown = "org.freedesktop.DBus.Error.UnknownMethod";
    EXPECT_EQ(call("NoSuchMethod", {}).errorName(), unknown);
    EXPECT_EQ(call("Frob", {}, "org.freedesktop.DBus.Properties").errorName(), unknown);
    EXPECT_EQ(call("Frob", {}, "org.freedesktop.DBus.Introspectable").errorName(), unknown);
    EXPECT_EQ(call("AboutToShow", {QString("0")}).errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(call("GetLayout", {0, -1, QStringList()}, "org.example.Other").errorName(),
              "org.freedesktop.DBus.Error.UnknownInterface");
    event(quit, "hovered");
    event(-1);
    EXPECT_TRUE(performed_.empty());

    const auto group = call("AboutToShowGroup", {QVariant::fromValue(QList<int>{0, 99999})});
    ASSERT_EQ(group.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments().at(1)), QList<int>{99999});
}

TEST_F(DBusMenuExporterTest, EventsReachTheItemsOfTheCurrentLayoutOnly) {
    const Node first = layout();
    event(first.children[0].id);  // info
    event(first.children[4].id);  // submenu parent
    EXPECT_TRUE(performed_.empty()) << "read-outs and submenu parents do nothing";
    event(first.children[4].children[0].id);
    ASSERT_EQ(performed_.size(), 1u);
    EXPECT_EQ(performed_[0].action, MenuAction::duration);

    // Opened again with nothing changed: same ids, no new revision.
    const uint revision = exporter_->revision();
    EXPECT_FALSE(call("AboutToShow", {0}).arguments().at(0).toBool());
    EXPECT_EQ(layout().children[6].id, first.children[6].id);
    EXPECT_EQ(exporter_->revision(), revision);

    // Opened after a change: new ids; the old quit id names nothing any more.
    menu_.items.insert(menu_.items.begin(), item(MenuItemStyle::normal, "Turn off", MenuAction::deactivate));
    EXPECT_TRUE(call("AboutToShow", {0}).arguments().at(0).toBool());
    EXPECT_GT(exporter_->revision(), revision);
    event(first.children[6].id);
    EXPECT_EQ(performed_.size(), 1u) << "a click on an item of an earlier layout was carried out";
    event(layout().children[7].id);
    ASSERT_EQ(performed_.size(), 2u);
    EXPECT_EQ(performed_[1].action, MenuAction::quit);

    // The readings are refreshed once per opening, whether the host asks AboutToShow, says "opened",
    // or both.
    EXPECT_EQ(openings_, 2);
    event(0, "opened");
    event(0, "closed");
    EXPECT_EQ(openings_, 2);
    event(0, "opened");
    event(0, "closed");
    EXPECT_EQ(openings_, 3);
    EXPECT_EQ(opened_, (std::vector<bool>{true, false, true, false}));
}

TEST_F(DBusMenuExporterTest, TellsTheHostOfEachChangeOnceAndOnlyOfChanges) {
    BusSignalRecorder heard(host_->connection(), "com.canonical.dbusmenu");
    exporter_->menuMayHaveChanged();
    settle();
    EXPECT_TRUE(heard.heard().empty()) << "no host has read the menu yet";

    const Node first = layout();
    const uint revision = exporter_->revision();
    const int builds = builds_;
    // A burst of changes of texts and states only: one build, one ItemsPropertiesUpdated, the ids kept.
    menu_.items[0].title = "Awake for 24m";
    exporter_->menuMayHaveChanged();
    menu_.items[2].checked = false;
    menu_.items[1].style = MenuItemStyle::normal;  // no longer greyed
    exporter_->menuMayHaveChanged();
    exporter_->menuMayHaveChanged();
    settle();
    EXPECT_EQ(builds_, builds + 1);
    ASSERT_EQ(heard.heard().size(), 1u);
    ASSERT_EQ(heard.heard()[0].member(), "ItemsPropertiesUpdated");
    const auto changed = qdbus_cast<QList<DBusMenuItemProperties>>(heard.heard()[0].arguments().at(0));
    const auto removed = qdbus_cast<QList<DBusMenuItemPropertyNames>>(heard.heard()[0].arguments().at(1));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[0].id, first.children[0].id);
    EXPECT_EQ(changed[0].properties, (QVariantMap{{"label", "Awake for 24m"}}));
    EXPECT_EQ(changed[1].id, first.children[2].id);
    EXPECT_EQ(changed[1].properties, (QVariantMap{{"toggle-state", 0}}));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0].id, first.children[1].id);
    EXPECT_EQ(removed[0].names, QStringList{"enabled"});
    EXPECT_EQ(exporter_->revision(), revision);
    EXPECT_EQ(layout().children[0].id, first.children[0].id);
    EXPECT_FALSE(call("AboutToShow", {0}).arguments().at(0).toBool()) << "the host holds the menu already";

    // Nothing shown changed: nothing is sent.
    heard.clear();
    exporter_->menuMayHaveChanged();
    settle();
    EXPECT_TRUE(heard.heard().empty());

    // An item that comes, or one that does something else in the same place: a new layout.
    menu_.items.insert(menu_.items.begin(), item(MenuItemStyle::normal, "Turn off", MenuAction::deactivate));
    exporter_->menuMayHaveChanged();
    settle();
    menu_.items[0].action = MenuAction::about;
    exporter_->menuMayHaveChanged();
    settle();
    ASSERT_EQ(heard.count("LayoutUpdated"), 2u);
    EXPECT_EQ(heard.heard().size(), 2u);
    EXPECT_EQ(heard.heard()[1].arguments().at(0).toUInt(), revision + 2);
    EXPECT_EQ(heard.heard()[1].arguments().at(1).toInt(), 0) << "the whole menu, from the root";
}

}  // namespace
}  // namespace torvel
