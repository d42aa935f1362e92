// Runs the real torvel executable on the simulated machine, on a private session bus and a private
// configuration folder, and drives it only from outside: its commands and signals.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

#include "App/StartupCallHolder.h"
#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

struct Result {
    int exitCode = -1;
    QString out, err;
};

class TorvelEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus_.waitForStarted(5000) || !bus_.waitForReadyRead(5000))
            GTEST_SKIP() << "dbus-daemon did not start";
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        connection_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, "torvel-e2e"));
        ASSERT_TRUE(connection_->isConnected());
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.insert("TORVEL_LOG_CONSOLE", "1");
        environment_.remove("TORVEL_PLATFORM");
    }

    void TearDown() override {
        // An instance that a URL started is not ours to wait for; end it through its bus name.
        if (nameOwned()) {
            const auto pid = connection_->interface()->servicePid("com.torvel.Torvel").value();
            if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGTERM);
            waitUntil([this] { return !nameOwned(); });
        }
        for (auto& instance : instances_) {
            if (instance->state() != QProcess::NotRunning) {
                instance->kill();
                instance->waitForFinished(5000);
            }
        }
        connection_.reset();
        QDBusConnection::disconnectFromBus("torvel-e2e");
        bus_.kill();
        bus_.waitForFinished(5000);
    }

    Result run(const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.start(TORVEL_EXECUTABLE, args);
        // A command that starts Torvel first waits for it to come up.
        EXPECT_TRUE(process.waitForFinished(20000)) << args.join(' ').toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QJsonObject status() {
        const auto result = run({"status", "--json"});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }

    QDBusMessage callTorvel(const QString& method, const QList<QVariant>& args = {}) {
        auto message = QDBusMessage::createMethodCall("com.torvel.Torvel", "/com/torvel/Torvel",
                                                      "com.torvel.Torvel1", method);
        message.setArguments(args);
        return connection_->call(message, QDBus::Block, 10000);
    }

    bool nameOwned() { return connection_->interface()->isServiceRegistered("com.torvel.Torvel").value(); }

    /// Waits until the instance has written `text` to its log (stderr), keeping what it read.
    bool logged(QProcess& instance, const QString& text) {
        QDeadlineTimer deadline(10000);
        while (!log_.contains(text)) {
            if (deadline.hasExpired()) return false;
            instance.waitForReadyRead(50);
            log_ += QString::fromUtf8(instance.readAllStandardError());
        }
        return true;
    }

    QProcess& startInstance(const QStringList& args = {"--headless", "--platform", "sim"}) {
        auto& instance = *instances_.emplace_back(std::make_unique<QProcess>());
        instance.setProcessEnvironment(environment_);
        instance.start(TORVEL_EXECUTABLE, args);
        EXPECT_TRUE(instance.waitForStarted(5000));
        EXPECT_TRUE(waitUntil([this] { return nameOwned(); })) << "the instance never took its bus name";
        return instance;
    }

    /// Starts an instance, starts a half-hour session in it and kills it the way a crash would.
    void crashDuringATimedSession() {
        QProcess& first = startInstance();
        ASSERT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        ASSERT_TRUE(first.waitForFinished(5000));
        ASSERT_TRUE(waitUntil([this] { return !nameOwned(); }));
    }

    QTemporaryDir config_;
    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> connection_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> instances_;
    QString log_;
};

TEST_F(TorvelEndToEndTest, CommandsDriveTheRunningInstance) {
    const auto none = run({"status"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("Torvel is not running")) << none.err.toStdString();

    startInstance();
    EXPECT_EQ(status()["active"].toBool(true), false);

    EXPECT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);
    auto now = status();
    EXPECT_TRUE(now["active"].toBool());
    EXPECT_EQ(now["reasons"].toArray(), QJsonArray({"timer"}));
    EXPECT_FALSE(now["assertionType"].toString().isEmpty());
    EXPECT_GT(now["remainingSeconds"].toDouble(), 1790.0);
    EXPECT_LE(now["remainingSeconds"].toDouble(), 1800.0);

    const auto second = run({"--headless", "--platform", "sim"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains("already running")) << second.err.toStdString();
    EXPECT_TRUE(status()["active"].toBool()) << "the refused second instance must not touch the session";

    EXPECT_EQ(run({"deactivate"}).exitCode, 0);
    now = status();
    EXPECT_FALSE(now["active"].toBool(true));
    EXPECT_FALSE(now.contains("remainingSeconds"));

    EXPECT_EQ(run({"activate", "--profile", "No Such Profile"}).exitCode, 1);
    EXPECT_EQ(run({"activate", "--duration", "soon"}).exitCode, 2);
}

TEST_F(TorvelEndToEndTest, TimedSessionSurvivesACrashAndTerminationReleasesTheAssertion) {
    ASSERT_NO_FATAL_FAILURE(crashDuringATimedSession());

    QProcess& second = startInstance();
    const auto restored = status();
    EXPECT_TRUE(restored["active"].toBool());
    EXPECT_EQ(restored["reasons"].toArray(), QJsonArray({"timer"}));
    EXPECT_GT(restored["remainingSeconds"].toDouble(), 1700.0);
    EXPECT_LE(restored["remainingSeconds"].toDouble(), 1800.0);

    second.terminate();  // SIGTERM
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const auto err = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(err.contains("0 keep-awake assertions held at exit")) << err.toStdString();
    EXPECT_TRUE(waitUntil([this] { return !nameOwned(); }));
}

TEST_F(TorvelEndToEndTest, QuitsWithTheSessionBus) {
    QProcess& instance = startInstance();
    ASSERT_EQ(run({"activate"}).exitCode, 0);
    bus_.kill();
    ASSERT_TRUE(instance.waitForFinished(10000)) << "an instance must not outlive its session";
    EXPECT_EQ(instance.exitCode(), 0);
    EXPECT_TRUE(logged(instance, "0 keep-awake assertions held at exit"));
}

// The URL table itself is the router's (tests/UI); here only what the instance and the command add.
TEST_F(TorvelEndToEndTest, URLsAreCarriedOutOrReportedWithoutTouchingTheState) {
    QProcess& instance = startInstance();
    auto url = [&](const QString& text) { EXPECT_EQ(run({text}).exitCode, 0) << text.toStdString(); };

    const std::vector<std::pair<QString, QString>> malformed = {
        {"torvel://activate?duration=30m", "Invalid duration '30m'"},
        {"torvel://activate?until=24:00", "Invalid time '24:00'"},
        {"torvel://activate?profile=Nope", "Profile 'Nope' not found"},
        {"torvel://Activate", "Unknown command 'Activate'"},
    };
    for (const auto& [text, message] : malformed) {
        const auto result = run({text});
        EXPECT_EQ(result.exitCode, 1) << text.toStdString();
        EXPECT_TRUE(result.err.contains(message)) << result.err.toStdString();
        EXPECT_TRUE(logged(instance, message + " in URL: <private>")) << text.toStdString();
        EXPECT_FALSE(status()["active"].toBool(true)) << text.toStdString();
    }
    // Over D-Bus an error is a D-Bus error; another scheme is ignored without a trace (the command line
    // refuses it; other programs may not).
    const auto unknown = callTorvel("OpenURL", {QString("torvel://Activate")});
    EXPECT_EQ(unknown.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_EQ(unknown.errorMessage(), "Unknown command 'Activate'");
    EXPECT_EQ(callTorvel("OpenURL", {QString("https://activate?duration=60")}).type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(status()["active"].toBool(true));

    // toggle while held awake ends the session, whatever duration it carries; while idle it starts one.
    url("torvel://toggle?duration=60");
    EXPECT_GT(status()["remainingSeconds"].toDouble(), 50.0);
    url("torvel://toggle?duration=60");
    EXPECT_FALSE(status()["active"].toBool(true));

    // The time zone is the instance's own: until midnight is at most a day away.
    url("torvel://activate?until=00:00");
    const double untilMidnight = status()["remainingSeconds"].toDouble();
    EXPECT_GT(untilMidnight, 0.0);
    EXPECT_LE(untilMidnight, 24 * 3600.0 + 3600.0);  // a day, give or take a clock change

    // Profiles by their built-in key, from a URL and from the command.
    url("torvel://activate?profile=default_profile.download");
    auto now = status();
    EXPECT_EQ(now["profile"].toString(), "Download");
    EXPECT_GT(now["remainingSeconds"].toDouble(), 7 * 3600.0);
    EXPECT_EQ(run({"activate", "--profile", "default_profile.cooking"}).exitCode, 0);
    EXPECT_EQ(status()["profile"].toString(), "Cooking");
}

TEST_F(TorvelEndToEndTest, AURLStartsTorvelWhenNoneRuns) {
    environment_.insert("TORVEL_PLATFORM", "sim");
    const auto result = run({"torvel://activate?duration=600"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    ASSERT_TRUE(nameOwned());
    const auto now = status();
    EXPECT_TRUE(now["active"].toBool());
    EXPECT_GT(now["remainingSeconds"].toDouble(), 590.0);
    // Plain commands never start it.
    EXPECT_EQ(run({"deactivate"}).exitCode, 0);
}

TEST_F(TorvelEndToEndTest, AFileSizeLimitFailsTheSaveWithoutEndingTorvel) {
    auto& instance = *instances_.emplace_back(std::make_unique<QProcess>());
    instance.setProcessEnvironment(environment_);
    instance.setChildProcessModifier([] {
        const rlimit limit{1024, 1024};  // ulimit -f 1: the settings with their profiles are larger
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    instance.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"});
    ASSERT_TRUE(waitUntil([this] { return nameOwned(); }));
    EXPECT_TRUE(logged(instance, "File too large")) << log_.toStdString();
    EXPECT_EQ(run({"status"}).exitCode, 0);
    EXPECT_EQ(instance.state(), QProcess::Running) << "SIGXFSZ must not end it";
}

TEST_F(TorvelEndToEndTest, SettingsAreTypedCheckedAndKept) {
    startInstance();
    auto get = [&](const QString& key) { return run({"config", "get", key}).out.trimmed(); };
    EXPECT_EQ(get("batteryLimitPercent"), "20");

    const std::vector<std::pair<QStringList, QString>> refused = {
        {{"config", "set", "batteryLimitPercent", "5"}, "an integer from 11 to 50"},
        {{"config", "set", "noSuchSetting", "1"}, "unknown setting 'noSuchSetting'"},
        {{"config", "get", "noSuchSetting"}, "unknown setting 'noSuchSetting'"},
    };
    for (const auto& [args, message] : refused) {
        const auto result = run(args);
        EXPECT_EQ(result.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(message)) << result.err.toStdString();
    }
    EXPECT_EQ(get("batteryLimitPercent"), "20");

    EXPECT_EQ(run({"config", "set", "batteryLimitPercent", "30"}).exitCode, 0);
    const auto list = run({"config", "list"});
    EXPECT_TRUE(list.out.contains("batteryLimitPercent")) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains("guardianHours")) << list.out.toStdString();

    // The change handling runs: the new limit refuses a session on a battery between the two limits.
    EXPECT_EQ(run({"sim", "battery=25", "ac=off"}).exitCode, 0);
    EXPECT_EQ(run({"activate"}).exitCode, 1);

    // And it is kept across a restart.
    instances_.back()->terminate();
    ASSERT_TRUE(instances_.back()->waitForFinished(10000));
    startInstance();
    EXPECT_EQ(get("batteryLimitPercent"), "30");
}

TEST_F(TorvelEndToEndTest, ASettingTheFileCannotTakeIsRefusedAndNotApplied) {
    // A file where the settings folder belongs: no write can succeed, for root either.
    QFile blocker(config_.path() + "/torvel");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startInstance();
    const auto result = run({"config", "set", "batteryLimitPercent", "30"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("defaults.json") && result.err.contains("Not a directory"))
        << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    EXPECT_EQ(run({"config", "get", "batteryLimitPercent"}).out.trimmed(), "20");
}

TEST_F(TorvelEndToEndTest, TheSimulatedMachineDrivesTheSafetyStopsAndTriggers) {
    startInstance();
    ASSERT_EQ(run({"activate"}).exitCode, 0);
    auto changed = run({"sim", "battery=15", "ac=off", "lid=closed", "display=2"});
    EXPECT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_TRUE(changed.out.contains("battery=15 ac=off")) << changed.out.toStdString();
    EXPECT_TRUE(changed.out.contains("lid=closed display=2")) << changed.out.toStdString();
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); })) << "the battery limit stops the session";
    const auto refused = run({"activate"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("battery is too low")) << "a refusal, not a failure: " << refused.err.toStdString();
    const auto refusedURL = run({"torvel://activate?duration=60"});
    EXPECT_EQ(refusedURL.exitCode, 1);
    EXPECT_TRUE(refusedURL.err.contains("battery is too low")) << refusedURL.err.toStdString();
    EXPECT_EQ(callTorvel("OpenURL", {QString("torvel://activate")}).errorName(),
              "com.torvel.Torvel1.Error.Refused");

    EXPECT_EQ(run({"sim", "ac=on"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return status()["active"].toBool(); })) << "the charger resumes it";

    // Overheating stops the session and cooling brings it back.
    EXPECT_TRUE(run({"sim", "thermal=critical"}).out.contains("thermal=critical"));
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); })) << "the kill switch stops it";
    EXPECT_EQ(run({"sim", "thermal=nominal"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return status()["active"].toBool(); })) << "the suspended session resumes";

    EXPECT_EQ(run({"config", "set", "autoActivateOnExternalDisplay", "true"}).exitCode, 0);
    EXPECT_TRUE(status()["reasons"].toArray().contains("externalDisplay"));
    EXPECT_EQ(run({"config", "set", "autoActivateOnMirroring", "true"}).exitCode, 0);
    EXPECT_TRUE(run({"sim", "mirroring=on"}).out.contains("display=2 mirroring=on"));
    EXPECT_TRUE(waitUntil([&] { return status()["reasons"].toArray().contains("mirroring"); }));

    EXPECT_EQ(run({"sim", "battery=200"}).exitCode, 2);
    EXPECT_EQ(run({"sim", "lid=open", "volume=3"}).exitCode, 2);
    EXPECT_TRUE(run({"sim"}).out.contains("lid=closed")) << "a refused change applies nothing";
}

TEST_F(TorvelEndToEndTest, KeepsAwakeWhileAChosenApplicationRuns) {
    startInstance();
    ASSERT_EQ(run({"sim", "launch=org.example.Editor:Editor", "launch=org.example.Player:Player"}).exitCode, 0);
    const auto apps = run({"apps"});
    EXPECT_TRUE(apps.out.contains("org.example.Editor")) << apps.out.toStdString();
    const auto json = QJsonDocument::fromJson(run({"apps", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0].toObject()["name"].toString(), "Editor");

    EXPECT_EQ(run({"keep-awake-while", "org.example.Missing"}).exitCode, 1);
    EXPECT_EQ(run({"keep-awake-while", "e"}).exitCode, 2) << "both names contain an e";
    EXPECT_FALSE(status()["active"].toBool(true));

    const auto kept = run({"keep-awake-while", "EDIT"});
    EXPECT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_EQ(status()["reasons"].toArray(), QJsonArray({"processRunning"}));

    EXPECT_EQ(run({"sim", "quit=org.example.Editor"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); })) << "the watch ends when it quits";
}

TEST_F(TorvelEndToEndTest, CallsReadInputAsURLsDoAndEchoOnlyAShortCleanExcerpt) {
    startInstance();
    // " 60" is no number for a URL, so not for D-Bus either.
    EXPECT_EQ(callTorvel("Activate", {QString("duration"), QString(" 60")}).errorName(),
              "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_EQ(callTorvel("Activate", {QString("duration"), QString("60")}).arguments().value(0).toBool(),
              true);

    const QString huge = QString(1 << 20, 'k') + "\x1b[2J";
    for (const auto& reply :
         {callTorvel("GetSetting", {QString("\x1b[2J") + huge}), callTorvel("Activate", {huge, QString()}),
          callTorvel("Activate", {QString("until"), huge}), callTorvel("KeepAwakeWhileAppRuns", {huge})}) {
        if (reply.type() != QDBusMessage::ErrorMessage) continue;  // no match is a plain "not running"
        EXPECT_LE(reply.errorMessage().toUtf8().size(), 512) << reply.errorName().toStdString();
        EXPECT_FALSE(reply.errorMessage().contains(QChar(0x1b))) << reply.errorName().toStdString();
    }
}

TEST_F(TorvelEndToEndTest, StatusJSONCarriesWhatAPanelNeeds) {
    startInstance();
    auto now = status();
    EXPECT_TRUE(now["onACPower"].toBool(false));
    EXPECT_FALSE(now["automationPaused"].toBool(true));
    EXPECT_FALSE(now["requestPending"].toBool(true));
    EXPECT_FALSE(now["screenSaverPrevented"].toBool(true));
    EXPECT_EQ(now["emergencyAlarm"].toString(), "off");

    ASSERT_EQ(run({"sim", "battery=80", "ac=off", "estimate=5400"}).exitCode, 0);
    ASSERT_EQ(run({"activate", "--profile", "Presentation"}).exitCode, 0);
    ASSERT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);
    const QDateTime started = QDateTime::currentDateTime();
    now = status();
    EXPECT_EQ(now["batteryPercent"].toInt(), 80);
    EXPECT_FALSE(now["onACPower"].toBool(true));
    EXPECT_EQ(now["batteryMinutesRemaining"].toInt(), 90);
    const QString end = now["countdownEnd"].toString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)").match(end).hasMatch())
        << end.toStdString();
    const QDateTime parsed = QDateTime::fromString(end, Qt::ISODate);
    EXPECT_EQ(parsed.offsetFromUtc(), started.offsetFromUtc()) << "in the local zone";
    EXPECT_NEAR(static_cast<double>(started.secsTo(parsed)), 1800.0, 60.0) << end.toStdString();

    ASSERT_EQ(run({"activate", "--profile", "Presentation"}).exitCode, 0);
    now = status();
    EXPECT_EQ(now["profile"].toString(), "Presentation");
    EXPECT_EQ(now["profileID"].toString().size(), 36) << "a UUID";
    EXPECT_TRUE(now["screenSaverPrevented"].toBool(false)) << "a presentation keeps the screen on";
}

TEST_F(TorvelEndToEndTest, StoredNamesReachTheTerminalWithoutEscapesAndJSONExact) {
    // A window title, a C1 CSI that clears the screen, a right-to-left override.
    const QString name = QString::fromUtf8("\x1b]0;owned\x07\xC2\x9B" "2JEvil\xE2\x80\xAE" "gnp");
    const QJsonArray profiles{QJsonObject{{"id", "4D2B0001-0000-0000-0000-0000000000AA"},
                                          {"name", name},
                                          {"duration", QJsonObject{{"indefinite", QJsonObject{}}}},
                                          {"assertionType", "noIdleSleep"}}};
    const QByteArray data = QJsonDocument(profiles).toJson(QJsonDocument::Compact).toBase64();
    const QJsonObject values{{"aiProfileSeeded", QJsonObject{{"bool", true}}},
                             {"profiles", QJsonObject{{"data", QString::fromLatin1(data)}}}};
    ASSERT_TRUE(torvel::apptest::writeDefaults(config_.path(), values));
    startInstance();
    ASSERT_EQ(run({"activate", "--profile", name}).exitCode, 0);

    const auto plain = run({"status"});
    EXPECT_TRUE(plain.out.contains("Profile: ]0;owned2JEvilgnp\n")) << plain.out.toStdString();
    for (const QChar raw : {QChar(0x1b), QChar(0x07), QChar(0x9b), QChar(0x202e)})
        EXPECT_FALSE(plain.out.contains(raw)) << plain.out.toStdString();
    EXPECT_EQ(status()["profile"].toString(), name) << "JSON is escaped, not cleaned";
}

TEST_F(TorvelEndToEndTest, AHungInstanceIsReportedWithinSeconds) {
    // Owns the name and keeps every call without answering: what a hung Torvel looks like.
    torvel::StartupCallHolder hung(*connection_, "/com/torvel/Torvel");
    ASSERT_TRUE(hung.install());
    ASSERT_TRUE(connection_->interface()->registerService("com.torvel.Torvel").isValid());
    const auto result = run({"status"});
    connection_->interface()->unregisterService("com.torvel.Torvel");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Torvel did not answer within 3 s")) << result.err.toStdString();
}

TEST_F(TorvelEndToEndTest, ACallSentTheMomentTheNameAppearsIsAnsweredAfterTheRestore) {
    ASSERT_NO_FATAL_FAILURE(crashDuringATimedSession());

    QDBusServiceWatcher watcher("com.torvel.Torvel", *connection_, QDBusServiceWatcher::WatchForRegistration);
    std::optional<QDBusPendingCall> early, simulation;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, [&] {
        early = connection_->asyncCall(QDBusMessage::createMethodCall(
            "com.torvel.Torvel", "/com/torvel/Torvel", "com.torvel.Torvel1", "Deactivate"));
        simulation = connection_->asyncCall(
            QDBusMessage::createMethodCall("com.torvel.Torvel", "/com/torvel/Torvel/Simulation",
                                           "com.torvel.Torvel1.Simulation", "Describe"));
    });
    auto& instance = *instances_.emplace_back(std::make_unique<QProcess>());
    instance.setProcessEnvironment(environment_);
    instance.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"});
    QDeadlineTimer deadline(10000);
    while (!(early && early->isFinished() && simulation->isFinished()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(early && simulation) << "the name never appeared";
    EXPECT_EQ(early->reply().type(), QDBusMessage::ReplyMessage)
        << early->reply().errorMessage().toStdString();
    EXPECT_EQ(simulation->reply().type(), QDBusMessage::ReplyMessage)
        << simulation->reply().errorMessage().toStdString();
    EXPECT_FALSE(status()["active"].toBool(true)) << "the early deactivate came after the restored session";
}

TEST_F(TorvelEndToEndTest, OfTwoInstancesStartedTogetherTheLoserBuildsNothing) {
    std::vector<QProcess*> both;
    for (int i = 0; i < 2; ++i) {
        both.push_back(instances_.emplace_back(std::make_unique<QProcess>()).get());
        both.back()->setProcessEnvironment(environment_);
    }
    for (auto* instance : both) instance->start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"});
    ASSERT_TRUE(waitUntil([&] { return both[0]->waitForFinished(20) || both[1]->waitForFinished(20); }));
    QProcess* loser = both[0]->state() == QProcess::NotRunning ? both[0] : both[1];
    EXPECT_EQ(loser->exitCode(), 1);
    const auto err = QString::fromUtf8(loser->readAllStandardError()).trimmed();
    EXPECT_EQ(err, "torvel: Torvel is already running") << "the loser logs nothing it built";
}

TEST_F(TorvelEndToEndTest, CommandsFindAnInstanceOnAPrivateBusThroughItsRecord) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    environment_.insert("XDG_RUNTIME_DIR", runtime.path());
    environment_.insert("TORVEL_PRIVATE_BUS", "1");
    QProcess& instance = startInstance();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(runtime.path() + "/torvel/bus"); }));

    // Another terminal: no session bus, no display to start one from.
    environment_.remove("DBUS_SESSION_BUS_ADDRESS");
    environment_.remove("DISPLAY");
    environment_.remove("TORVEL_PRIVATE_BUS");
    EXPECT_EQ(run({"activate"}).exitCode, 0);
    EXPECT_TRUE(status()["active"].toBool());

    // The terminal it ran in closed: the same quit path as SIGTERM.
    ::kill(static_cast<pid_t>(instance.processId()), SIGHUP);
    ASSERT_TRUE(instance.waitForFinished(10000));
    EXPECT_EQ(instance.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(instance.exitCode(), 0);
    EXPECT_TRUE(logged(instance, "Quitting: releasing the power assertion")) << log_.toStdString();
    EXPECT_FALSE(QFile::exists(runtime.path() + "/torvel/bus")) << "the record goes with the instance";
    EXPECT_TRUE(run({"status"}).err.contains("Torvel is not running"));
}

// The way into the windows where no tray shows the icon (GNOME without the AppIndicator extension):
// torvel settings, torvel about and a second torvel, with Qt drawing offscreen and no tray host.
TEST_F(TorvelEndToEndTest, WindowCommandsOpenTheWindowsWhereNoTrayShowsTheIcon) {
    environment_.insert("TORVEL_PLATFORM", "sim");
    environment_.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"}) environment_.remove(name);
    QProcess& instance = startInstance({});
    auto result = run({"settings", "--tab", "battery"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(logged(instance, "Settings window shown on the battery tab")) << log_.toStdString();
    EXPECT_EQ(run({"about"}).exitCode, 0);
    EXPECT_TRUE(logged(instance, "About window shown")) << log_.toStdString();
    // The desktop entry opened again: no tray shows the icon, so the settings come instead.
    result = run({});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(logged(instance, "Settings window shown on the general tab")) << log_.toStdString();
    // A tab the window does not have is refused by the command and by the instance alike.
    EXPECT_EQ(run({"settings", "--tab", "wifi"}).exitCode, 2);
    const QDBusMessage reply = callTorvel("ShowSettings", {QString("\x1b[2Jwifi")});
    EXPECT_EQ(reply.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_FALSE(reply.errorMessage().contains('\x1b'));
    EXPECT_EQ(instance.state(), QProcess::Running);
}

TEST_F(TorvelEndToEndTest, WindowCommandsStartTorvelAndAHeadlessOneSaysItHasNoWindows) {
    environment_.insert("TORVEL_PLATFORM", "sim");
    environment_.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"}) environment_.remove(name);
    const auto started = run({"settings"});
    EXPECT_EQ(started.exitCode, 0) << started.err.toStdString();
    EXPECT_TRUE(nameOwned()) << "torvel settings starts Torvel when none runs";
    const auto pid = connection_->interface()->servicePid("com.torvel.Torvel").value();
    ASSERT_GT(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    ASSERT_TRUE(waitUntil([this] { return !nameOwned(); }));

    startInstance({"--headless"});
    for (const QStringList& args : {QStringList{"settings"}, QStringList{"about"}, QStringList{}}) {
        const auto refused = run(args);
        EXPECT_EQ(refused.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("without windows")) << refused.err.toStdString();
    }
}

}  // namespace
