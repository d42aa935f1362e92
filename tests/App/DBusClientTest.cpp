// Drives the resident the way a window process or a panel module does: over a private session bus,
// reading its properties, following PropertiesChanged and Notice, and calling its methods.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "Platform/Linux/DBus/BusSignalRecorder.h"
#include "TorvelProcess.h"

namespace {

using torvel::BusSignalRecorder;
using torvel::apptest::processEventsUntil;
using torvel::apptest::waitUntil;

constexpr const char* kName = "com.torvel.Torvel";
constexpr const char* kPath = "/com/torvel/Torvel";
constexpr const char* kInterface = "com.torvel.Torvel1";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

/// The D-Bus signature of a value as Qt hands it over: complex values stay unread arguments.
QString signatureOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qvariant_cast<QDBusArgument>(value).currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

/// The members of `interface` in introspection XML, one line each, names and types only: a method's
/// in and out types, a property's type and access, a signal's types.
std::set<QString> membersOf(const QString& xml, const QString& interface) {
    std::set<QString> members;
    QXmlStreamReader reader(xml);
    bool inside = false;
    QString kind, name;
    QStringList ins, outs;
    while (!reader.atEnd()) {
        reader.readNext();
        const auto attributes = reader.attributes();
        const auto element = reader.name();
        if (reader.isStartElement() && element == u"interface")
            inside = attributes.value("name") == interface;
        if (!inside) continue;
        if (reader.isStartElement() && (element == u"method" || element == u"signal")) {
            kind = element.toString();
            name = attributes.value("name").toString();
            ins.clear();
            outs.clear();
        } else if (reader.isStartElement() && element == u"arg") {
            const bool in = kind == "method" && attributes.value("direction") != u"out";
            (in ? ins : outs) << attributes.value("type").toString();
        } else if (reader.isEndElement() && (element == u"method" || element == u"signal")) {
            members.insert(kind == "method"
                               ? QString("method %1(%2) -> (%3)").arg(name, ins.join(','), outs.join(','))
                               : QString("signal %1(%2)").arg(name, outs.join(',')));
        } else if (reader.isStartElement() && element == u"property") {
            members.insert(
                QString("property %1 %2 %3")
                    .arg(attributes.value("name"), attributes.value("type"), attributes.value("access")));
        } else if (reader.isEndElement() && element == u"interface") {
            inside = false;
        }
    }
    return members;
}

class DBusClientTest : public torvel::apptest::HeadlessTorvelTest {
protected:
    DBusClientTest() : HeadlessTorvelTest("dbus-client-test") {}

    void SetUp() override {
        startTorvel();
    }

    QDBusMessage call(const QString& method, const QList<QVariant>& args = {},
                      const QString& interface = kInterface, const QString& path = kPath) {
        auto message = QDBusMessage::createMethodCall(kName, path, interface, method);
        message.setArguments(args);
        return bus_.connection().call(message, QDBus::Block, 10000);
    }

    /// Every signal the instance sent before it answered this call has been delivered afterwards: one
    /// connection keeps its messages in order.
    void settle() {
        ASSERT_EQ(call("GetStatus").type(), QDBusMessage::ReplyMessage);
        QCoreApplication::processEvents();
    }

    /// The changed properties of each PropertiesChanged heard, checking the fixed parts of each.
    std::vector<QVariantMap> changes() const {
        std::vector<QVariantMap> all;
        for (const auto& message : properties_.heard()) {
            if (message.member() != "PropertiesChanged") continue;
            const auto args = message.arguments();
            EXPECT_EQ(args.value(0).toString(), kInterface);
            EXPECT_TRUE(qdbus_cast<QStringList>(args.value(2)).isEmpty()) << "nothing is only invalidated";
            all.push_back(qdbus_cast<QVariantMap>(args.value(1)));
        }
        return all;
    }

    BusSignalRecorder properties_{bus_.connection(), kProperties};
    BusSignalRecorder notices_{bus_.connection(), kInterface};
};

TEST_F(DBusClientTest, FollowsTheResidentThroughPropertiesChangesAndNotices) {
    // GetAll gives every property with its type.
    const std::map<QString, QString> contract = {{"Active", "b"},
                                                 {"Reasons", "as"},
                                                 {"AssertionType", "s"},
                                                 {"CountdownEnd", "x"},
                                                 {"RemainingText", "s"},
                                                 {"StatusText", "s"},
                                                 {"TooltipTitle", "s"},
                                                 {"IconName", "s"},
                                                 {"NeedsAttention", "b"},
                                                 {"ProfileID", "s"},
                                                 {"Profile", "s"},
                                                 {"Profiles", "aa{sv}"},
                                                 {"OnACPower", "b"},
                                                 {"BatteryPercent", "i"},
                                                 {"BatteryMinutesRemaining", "i"},
                                                 {"AutomationPaused", "b"},
                                                 {"AutomationPausedUntil", "x"},
                                                 {"EmergencyAlarm", "s"},
                                                 {"RequestPending", "b"},
                                                 {"ScreenSaverPrevented", "b"},
                                                 {"StatusMessage", "s"},
                                                 {"WiFiStatus", "s"},
                                                 {"TrustedNetworks", "as"},
                                                 {"RunningApps", "a(ssi)"},
                                                 {"WatchedApps", "as"},
                                                 {"Blockers", "a(isssbb)"},
                                                 {"Stayguard", "s"},
                                                 {"Language", "s"},
                                                 {"StartsAtLogin", "b"},
                                                 {"Settings", "a{ss}"},
                                                 {"WatchedAppNames", "a{ss}"},
                                                 {"CurrentSSID", "s"},
                                                 {"AutomationConsent", "s"},
                                                 {"StayguardGrants", "as"},
                                                 {"StayguardInstallResult", "s"},
                                                 {"LidHolders", "a(sus)"},
                                                 {"LidHoldersKnown", "b"}};
    const auto reply = call("GetAll", {QString(kInterface)}, kProperties);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const auto all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    std::map<QString, QString> types;
    for (auto it = all.begin(); it != all.end(); ++it) types[it.key()] = signatureOf(it.value());
    EXPECT_EQ(types, contract);
    EXPECT_FALSE(all["Active"].toBool());
    EXPECT_EQ(all["Language"].toString(), "en");
    QDBusArgument profiles = qvariant_cast<QDBusArgument>(all["Profiles"]);
    const auto firstProfile = qdbus_cast<QList<QVariantMap>>(profiles).value(0);
    EXPECT_FALSE(firstProfile["id"].toString().isEmpty());
    EXPECT_FALSE(firstProfile["name"].toString().isEmpty());

    // One activation arrives as one signal carrying everything it changed, and nothing else.
    const auto before = QDateTime::currentSecsSinceEpoch();
    const auto activated = call("Activate", {"duration", "1500"});
    ASSERT_EQ(activated.type(), QDBusMessage::ReplyMessage) << activated.errorMessage().toStdString();
    EXPECT_TRUE(activated.arguments().value(0).toBool());
    settle();
    auto heard = changes();
    ASSERT_EQ(heard.size(), 1u);
    auto changed = heard[0];
    EXPECT_TRUE(changed["Active"].toBool());
    EXPECT_EQ(qdbus_cast<QStringList>(changed["Reasons"]), QStringList{"timer"});
    EXPECT_FALSE(changed["AssertionType"].toString().isEmpty());
    EXPECT_GE(changed["CountdownEnd"].toLongLong(), before + 1499);
    EXPECT_LE(changed["CountdownEnd"].toLongLong(), QDateTime::currentSecsSinceEpoch() + 1501);
    EXPECT_EQ(changed["RemainingText"].toString(), "25 min");
    EXPECT_EQ(changed["TooltipTitle"].toString(), "Torvel: 25 min left");
    EXPECT_EQ(changed["IconName"].toString(), "torvel-active-symbolic");
    for (const char* unchanged :
         {"BatteryPercent", "Profiles", "RunningApps", "Blockers", "Language", "NeedsAttention"})
        EXPECT_FALSE(changed.contains(unchanged)) << unchanged;
    const auto end = call("Get", {QString(kInterface), QString("CountdownEnd")}, kProperties);
    EXPECT_EQ(qvariant_cast<QDBusVariant>(end.arguments().value(0)).variant().toLongLong(),
              changed["CountdownEnd"].toLongLong());

    // A refused write is an error and changes nothing; an accepted one sends only what it changed.
    const auto refused = call("SetSetting", {"showRemainingTime", "maybe"});
    EXPECT_EQ(refused.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_EQ(call("GetSetting", {"showRemainingTime"}).arguments().value(0).toString(), "true");
    settle();
    EXPECT_EQ(changes().size(), 1u);
    ASSERT_EQ(call("SetSetting", {"showRemainingTime", "false"}).type(), QDBusMessage::ReplyMessage);
    settle();
    heard = changes();
    ASSERT_EQ(heard.size(), 2u);
    // The setting itself, and what it changes in the status item.
    using Values = QMap<QString, QString>;
    EXPECT_EQ(qdbus_cast<Values>(heard[1].take("Settings")).value("showRemainingTime"), "false");
    EXPECT_EQ(heard[1], (QVariantMap{{"RemainingText", ""}, {"TooltipTitle", "Torvel"}}));

    // Texts in the instance's language: unknown and malformed keys are left out; too many keys fail.
    const auto texts = call("GetTexts", {QStringList{"a11y.status_active", "no.such.key", "bad key\n"}});
    ASSERT_EQ(texts.type(), QDBusMessage::ReplyMessage) << texts.errorMessage().toStdString();
    const auto found = qdbus_cast<QMap<QString, QString>>(texts.arguments().value(0));
    EXPECT_EQ(found.keys(), QStringList{"a11y.status_active"});
    EXPECT_EQ(found.value("a11y.status_active"), heard[0].value("StatusText").toString());
    QStringList tooMany;
    for (int i = 0; i < 501; ++i) tooMany << "menu.quit";
    EXPECT_EQ(call("GetTexts", {tooMany}).errorName(), "com.torvel.Torvel1.Error.InvalidArgument");

    // The battery falls below the limit on the simulated machine: the session stops with a notice, and
    // the new reading and the stop arrive together.
    const auto simulated = call("Change", {QStringList{"battery=15", "ac=off"}},
                                "com.torvel.Torvel1.Simulation", "/com/torvel/Torvel/Simulation");
    ASSERT_EQ(simulated.type(), QDBusMessage::ReplyMessage) << simulated.errorMessage().toStdString();
    ASSERT_TRUE(processEventsUntil([this] { return notices_.count("Notice") > 0 && changes().size() > 2; }));
    settle();
    const auto notice = std::find_if(notices_.heard().begin(), notices_.heard().end(),
                                     [](const QDBusMessage& m) { return m.member() == "Notice"; });
    EXPECT_EQ(notice->arguments().value(0).toString(), "battery-soft-limit");
    EXPECT_EQ(notice->arguments().value(1).toString(), "Torvel");
    EXPECT_TRUE(notice->arguments().value(2).toString().contains("20%"));
    changed = changes().back();
    EXPECT_FALSE(changed["Active"].toBool());
    EXPECT_EQ(changed["BatteryPercent"].toInt(), 15);
    EXPECT_FALSE(changed["OnACPower"].toBool());
    EXPECT_EQ(changed["CountdownEnd"].toLongLong(), 0);
}

TEST_F(DBusClientTest, InterfaceFileNamesWhatTheObjectExports) {
    const auto reply = call("Introspect", {}, "org.freedesktop.DBus.Introspectable");
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    QFile file(TORVEL_TEST_SOURCE_DIR "/../resources/dbus/com.torvel.Torvel1.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const auto exported = membersOf(reply.arguments().value(0).toString(), kInterface);
    const auto described = membersOf(QString::fromUtf8(file.readAll()), kInterface);
    ASSERT_FALSE(exported.empty());
    std::string drift;
    for (const auto& member : exported)
        if (!described.count(member))
            drift += "  exported, missing from the file: " + member.toStdString() + "\n";
    for (const auto& member : described)
        if (!exported.count(member)) drift += "  in the file, not exported: " + member.toStdString() + "\n";
    EXPECT_TRUE(drift.empty()) << "resources/dbus/com.torvel.Torvel1.xml and the running object differ:\n"
                               << drift;
}

}  // namespace
