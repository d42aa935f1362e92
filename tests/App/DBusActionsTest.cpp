// The menu's and the windows' actions over the bus, against the torvel executable on the simulated
// machine and a private session bus: what they change shows in the stored settings and the status.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUuid>
#include <csignal>
#include <utility>

#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

constexpr const char* kName = "com.torvel.Torvel";
constexpr const char* kInvalid = "com.torvel.Torvel1.Error.InvalidArgument";
constexpr const char* kRefused = "com.torvel.Torvel1.Error.Refused";
// The built-in Presentation profile's fixed id.
constexpr const char* kPresentationID = "4D2B0001-0000-0000-0000-000000000001";

class DBusActionsTest : public torvel::apptest::HeadlessTorvelTest {
protected:
    DBusActionsTest() : HeadlessTorvelTest("torvel-actions") {}

    void SetUp() override {
        // The answers in words are read in English, whatever the machine's language.
        ASSERT_TRUE(torvel::apptest::writeDefaults(config_.path(), {{"language", QJsonObject{{"string", "en"}}}}));
        startTorvel();
    }

    QDBusMessage call(const QString& method, const QList<QVariant>& args = {},
                      const char* path = "/com/torvel/Torvel", const char* interface = "com.torvel.Torvel1") {
        auto message = QDBusMessage::createMethodCall(kName, path, interface, method);
        message.setArguments(args);
        return bus_.connection().call(message, QDBus::Block, 10000);
    }
    /// The call's only answer; a failed call fails the test.
    QVariant answer(const QString& method, const QList<QVariant>& args = {}) {
        const auto reply = call(method, args);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method.toStdString() << ": "
                                                            << reply.errorMessage().toStdString();
        return reply.arguments().value(0);
    }
    void simulate(const QString& assignment) {
        const auto reply = call("Change", {QStringList{assignment}}, "/com/torvel/Torvel/Simulation",
                                "com.torvel.Torvel1.Simulation");
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    QVariantMap status() {
        const auto map = qdbus_cast<QVariantMap>(answer("GetStatus"));
        EXPECT_TRUE(map.contains("active")) << "no status";
        return map;
    }

    /// The settings file as the instance wrote it last.
    QByteArray storedFile() const {
        QFile file(config_.path() + "/torvel/defaults.json");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    /// The stored list under `key` (kept as data: JSON in base64).
    QJsonArray storedList(const char* key) const {
        const auto values = QJsonDocument::fromJson(storedFile()).object()["values"].toObject();
        const auto data = QByteArray::fromBase64(values[key].toObject()["data"].toString().toLatin1());
        return QJsonDocument::fromJson(data).array();
    }
    /// The stored entry of `key`'s list whose `field` is `value`; empty when there is none.
    QJsonObject storedEntry(const char* key, const char* field, const QString& value) const {
        for (const auto& entry : storedList(key))
            if (entry.toObject()[field].toString().compare(value, Qt::CaseInsensitive) == 0) return entry.toObject();
        return {};
    }

};

QVariantMap fields(std::initializer_list<std::pair<const char*, QVariant>> entries) {
    QVariantMap map;
    for (const auto& [key, value] : entries) map[key] = value;
    return map;
}

TEST_F(DBusActionsTest, BadInputFailsWithItsErrorAndChangesNothing) {
    // What some refusals below collide with: a trusted network, a watched application, a countdown.
    answer("AddTrustedNetwork", {"Office"});
    simulate("launch=org.gnome.Builder:Builder");
    answer("WatchApp", {"org.gnome.Builder"});
    answer("Activate", {"duration", "600"});

    ASSERT_TRUE(status().contains("countdownEnd"));
    ASSERT_FALSE(storedList("trustedNetworks").isEmpty());
    const QString missing = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QVariantMap named = fields({{"name", "Reading"}});
    auto with = [&named](const char* key, const QVariant& value) {
        QVariantMap map = named;
        map[key] = value;
        return map;
    };
    struct Case {
        const char* method;
        QList<QVariant> args;
        const char* error;
    };
    const Case cases[] = {
        {"Extend", {0}, kInvalid},
        {"Extend", {-15}, kInvalid},
        {"Extend", {43201}, kInvalid},
        {"PauseAutomation", {"week"}, kInvalid},
        {"PauseAutomation", {""}, kInvalid},
        {"CreateProfile", {QVariantMap()}, kInvalid},  // no name
        {"CreateProfile", {fields({{"name", " \t "}})}, kInvalid},
        {"CreateProfile", {fields({{"name", "Presentation"}})}, kInvalid},  // a built-in's shown name
        {"CreateProfile", {fields({{"name", "Office\nHours"}})}, kInvalid},
        {"CreateProfile", {fields({{"name", QString(257, 'x')}})}, kInvalid},
        {"CreateProfile", {fields({{"name", 7}})}, kInvalid},
        {"CreateProfile", {with("colour", "red")}, kInvalid},
        {"CreateProfile", {with("id", missing)}, kInvalid},
        {"CreateProfile", {with("duration", "fortnight")}, kInvalid},
        {"CreateProfile", {with("duration", "custom")}, kInvalid},
        {"CreateProfile", {with("duration", 3600)}, kInvalid},
        {"CreateProfile", {with("assertionType", "noSleep")}, kInvalid},
        {"CreateProfile", {with("batteryLimitOverride", 51)}, kInvalid},
        {"CreateProfile", {with("batteryLimitOverride", -2)}, kInvalid},
        {"CreateProfile", {with("batteryLimitOverride", "20")}, kInvalid},
        {"CreateProfile", {with("batteryLimitOverride", qint64(20))}, kInvalid},
        {"EditProfile", {"not-an-id", named}, kInvalid},
        {"EditProfile", {missing, named}, kInvalid},
        {"EditProfile", {kPresentationID, fields({{"name", "Download"}})}, kInvalid},
        {"EditProfile", {kPresentationID, fields({{"name", ""}})}, kInvalid},
        {"EditProfile", {kPresentationID, with("batteryLimitOverride", 99)}, kInvalid},
        {"ToggleProfile", {""}, kInvalid},
        {"ToggleProfile", {"Presentation"}, kInvalid},  // a name, not an id
        {"ToggleProfile", {missing}, kInvalid},
        {"DuplicateProfile", {missing}, kInvalid},
        {"DeleteProfile", {"{}"}, kInvalid},
        {"DeleteProfile", {missing}, kInvalid},
        {"AddTrustedNetwork", {""}, kInvalid},
        {"AddTrustedNetwork", {" \n "}, kInvalid},
        {"AddTrustedNetwork", {" Office "}, kInvalid},  // trusted already
        {"AddTrustedNetwork", {QString(33, 'n')}, kInvalid},
        {"RemoveTrustedNetwork", {"Home"}, kInvalid},
        {"WatchApp", {""}, kInvalid},
        {"WatchApp", {"org.example.NotRunning"}, kInvalid},
        {"WatchApp", {"org.gnome.Builder"}, kInvalid},  // watched already
        {"UnwatchApp", {"org.example.NotRunning"}, kInvalid},
        {"SleepNow", {}, kRefused},  // nothing blocks sleep, so the menu offers no Sleep now
    };
    for (const auto& each : cases) {
        QString what = each.method;
        for (const auto& arg : each.args) {
            QStringList shown;
            const auto map = arg.toMap();
            for (auto it = map.begin(); it != map.end(); ++it) shown << it.key() + "=" + it.value().toString();
            what += " '" + (map.isEmpty() ? arg.toString() : shown.join(", ")).left(40) + "'";
        }
        const QByteArray before = storedFile();
        const QVariant endBefore = status()["countdownEnd"];
        const QVariant profileBefore = status()["profileID"];
        const auto reply = call(each.method, each.args);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << what.toStdString();
        EXPECT_EQ(reply.errorName(), each.error) << what.toStdString();
        EXPECT_FALSE(reply.errorMessage().isEmpty()) << what.toStdString();
        EXPECT_EQ(storedFile(), before) << what.toStdString();
        const auto after = status();
        EXPECT_EQ(after["countdownEnd"], endBefore) << what.toStdString();
        EXPECT_EQ(after["profileID"], profileBefore) << what.toStdString();
        EXPECT_FALSE(after["automationPaused"].toBool()) << what.toStdString();
    }
    // The error repeats only a short excerpt of what it was sent.
    const auto longName = call("RemoveTrustedNetwork", {QString(10000, 'y')});
    EXPECT_LT(longName.errorMessage().size(), 200);
}

TEST_F(DBusActionsTest, ActionsChangeWhatTheWindowsAndMenuChange) {
    // A profile from its creation to its deletion.
    const QString id = answer("CreateProfile", {fields({{"name", " Reading "},
                                                        {"duration", "twoHours"},
                                                        {"assertionType", "noDisplaySleep"},
                                                        {"batteryLimitOverride", 30}})})
                           .toString();
    auto profile = storedEntry("profiles", "id", id);
    EXPECT_EQ(profile["name"].toString(), "Reading");
    EXPECT_TRUE(profile["duration"].toObject().contains("twoHours"));
    EXPECT_EQ(profile["assertionType"].toString(), "noDisplaySleep");
    EXPECT_EQ(profile["batteryLimitOverride"].toInt(), 30);

    answer("EditProfile", {id, fields({{"name", "Long read"}, {"batteryLimitOverride", -1}})});
    profile = storedEntry("profiles", "id", id);
    EXPECT_EQ(profile["name"].toString(), "Long read");
    EXPECT_FALSE(profile.contains("batteryLimitOverride"));
    EXPECT_TRUE(profile["duration"].toObject().contains("twoHours")) << "a field not given stays";
    // A built-in edited without a new name keeps its localised name.
    answer("EditProfile", {kPresentationID, fields({{"duration", "oneHour"}, {"batteryLimitOverride", 0}})});
    const auto presentation = storedEntry("profiles", "id", kPresentationID);
    EXPECT_TRUE(presentation.contains("localizationKey"));
    EXPECT_TRUE(presentation["duration"].toObject().contains("oneHour"));
    EXPECT_EQ(presentation["batteryLimitOverride"].toInt(-1), 0);

    // The menu's profile item: a profile starts, another one takes over, the running one ends it all.
    const auto toggle = [&](const QString& which) {
        const auto reply = call("ToggleProfile", {which});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return std::pair(reply.arguments().value(0).toBool(), reply.arguments().value(1).toString());
    };
    const auto running = [&] { return status()["profileID"].toString().toUpper(); };
    EXPECT_EQ(toggle(id), std::pair(true, QString("Torvel is keeping the computer awake.")));
    EXPECT_EQ(running(), id.toUpper());
    EXPECT_NEAR(status()["remainingSeconds"].toDouble(), 7200.0, 60.0) << "the profile's two hours";
    EXPECT_TRUE(toggle(kPresentationID).first);
    EXPECT_EQ(running(), QString(kPresentationID));
    EXPECT_EQ(toggle(kPresentationID), std::pair(false, QString("Torvel is off. The computer can sleep as usual.")));
    const auto off = status();
    EXPECT_FALSE(off.contains("profileID"));
    EXPECT_FALSE(off.contains("remainingSeconds"));

    const QString copy = answer("DuplicateProfile", {id}).toString();
    EXPECT_NE(copy.compare(id, Qt::CaseInsensitive), 0);
    EXPECT_EQ(storedEntry("profiles", "id", copy)["name"].toString(), "Long read copy");
    answer("DuplicateProfile", {id});
    EXPECT_FALSE(storedEntry("profiles", "name", "Long read copy 2").isEmpty()) << "copies get unique names";
    const auto count = storedList("profiles").size();
    answer("DeleteProfile", {copy});
    EXPECT_TRUE(storedEntry("profiles", "id", copy).isEmpty());
    EXPECT_EQ(storedList("profiles").size(), count - 1);

    // A trusted network, trimmed as the sheet trims it.
    answer("AddTrustedNetwork", {"  Café Wi-Fi "});
    EXPECT_FALSE(storedEntry("trustedNetworks", "ssid", "Café Wi-Fi").isEmpty());
    answer("RemoveTrustedNetwork", {"Café Wi-Fi"});
    EXPECT_TRUE(storedList("trustedNetworks").isEmpty());

    // A running application watched under its name, then not.
    simulate("launch=org.gnome.Builder:Builder");
    answer("WatchApp", {"org.gnome.Builder"});
    EXPECT_EQ(storedEntry("watchedApps", "bundleID", "org.gnome.Builder")["name"].toString(), "Builder");
    answer("UnwatchApp", {"org.gnome.Builder"});
    EXPECT_TRUE(storedList("watchedApps").isEmpty());

    // The pauses and the resume.
    const auto now = QDateTime::currentDateTime();
    answer("PauseAutomation", {"hour"});
    auto paused = status();
    EXPECT_TRUE(paused["automationPaused"].toBool());
    const auto until = QDateTime::fromString(paused["automationPausedUntil"].toString(), Qt::ISODate);
    EXPECT_NEAR(static_cast<double>(now.secsTo(until)), 3600.0, 60.0);
    answer("PauseAutomation", {"indefinitely"});
    paused = status();
    EXPECT_TRUE(paused["automationPaused"].toBool());
    EXPECT_FALSE(paused.contains("automationPausedUntil"));
    answer("ResumeAutomation");
    EXPECT_FALSE(status()["automationPaused"].toBool());

    // Extending needs a countdown; with one, it moves its end.
    auto extended = call("Extend", {15});
    ASSERT_EQ(extended.type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(extended.arguments().value(0).toBool());
    EXPECT_TRUE(extended.arguments().value(1).toString().contains("No timer")) << "why not, in words";
    answer("Activate", {"duration", "600"});
    extended = call("Extend", {15});
    EXPECT_TRUE(extended.arguments().value(0).toBool());
    EXPECT_FALSE(extended.arguments().value(1).toString().isEmpty());
    EXPECT_GT(status()["remainingSeconds"].toDouble(), 1400.0);

    // Silencing without an alarm does nothing, and says nothing either.
    EXPECT_EQ(call("SilenceAlarm").type(), QDBusMessage::ReplyMessage);

    // Installing the helper answers at once; once installed, a second installation is refused.
    EXPECT_FALSE(answer("InstallStayguard").toString().isEmpty());
    QDBusMessage again;
    EXPECT_TRUE(waitUntil([&] {
        again = call("InstallStayguard");
        return again.errorMessage().contains("installed");
    })) << again.errorMessage().toStdString();
    EXPECT_EQ(again.errorName(), kRefused);
}

}  // namespace
