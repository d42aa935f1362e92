// Runs the real torvel executable on the simulated machine, on a private session bus and a private
// configuration folder, and drives it only from outside: its commands and signals.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "App/StartupCallHolder.h"
#include "TorvelProcess.h"

namespace {

using torvel::apptest::Result;
using torvel::apptest::waitUntil;

constexpr const char* kName = "com.torvel.Torvel";

class TorvelEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        if (!bus_.connected()) GTEST_SKIP() << "dbus-daemon did not start";
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.insert("TORVEL_LOG_CONSOLE", "1");
        environment_.remove("TORVEL_PLATFORM");
    }

    void TearDown() override {
        if (bus_.connected()) quitStartedInstance();
    }

    /// Ends an instance that a command started (not ours to wait for) through its bus name.
    void quitStartedInstance() {
        if (!bus_.owns(kName)) return;
        const auto pid = bus_.connection().interface()->servicePid(kName).value();
        if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGTERM);
        EXPECT_TRUE(waitUntil([this] { return !bus_.owns(kName); }));
    }

    /// Torvel started by a command, drawing offscreen, with no tray host.
    void withoutDisplay() {
        environment_.insert("TORVEL_PLATFORM", "sim");
        environment_.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"}) environment_.remove(name);
    }

    Result run(const QStringList& args) { return torvel::apptest::runTorvel(environment_, args); }

    QJsonObject status() {
        const auto result = run({"status", "--json"});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }
    bool active() { return status()["active"].toBool(); }

    QDBusMessage callTorvel(const QString& method, const QList<QVariant>& args = {}) {
        auto message = QDBusMessage::createMethodCall(kName, "/com/torvel/Torvel", "com.torvel.Torvel1", method);
        message.setArguments(args);
        return bus_.connection().call(message, QDBus::Block, 10000);
    }

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
        QProcess& instance = processes_.start(TORVEL_EXECUTABLE, args, environment_);
        EXPECT_TRUE(waitUntil([this] { return bus_.owns(kName); })) << "the instance never took its bus name";
        return instance;
    }

    /// Ends `instance` with `signal`, the way it leaves when asked to quit; false when it did not go.
    bool quits(QProcess& instance, int signal) {
        ::kill(static_cast<pid_t>(instance.processId()), signal);
        return instance.waitForFinished(10000) && instance.exitStatus() == QProcess::NormalExit &&
               instance.exitCode() == 0 && waitUntil([this] { return !bus_.owns(kName); });
    }

    /// Starts an instance, starts a half-hour session in it and kills it the way a crash would.
    void crashDuringATimedSession() {
        QProcess& first = startInstance();
        ASSERT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        ASSERT_TRUE(first.waitForFinished(5000));
        ASSERT_TRUE(waitUntil([this] { return !bus_.owns(kName); }));
    }

    QTemporaryDir config_;
    torvel::apptest::PrivateBus bus_{"torvel-e2e"};
    QProcessEnvironment environment_;
    torvel::apptest::Processes processes_;
    QString log_;
};

TEST_F(TorvelEndToEndTest, CommandsDriveTheRunningInstance) {
    const auto none = run({"status"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("Torvel is not running")) << none.err.toStdString();

    QProcess& first = startInstance();
    auto now = status();
    EXPECT_FALSE(now["active"].toBool(true));
    EXPECT_TRUE(now["onACPower"].toBool(false));
    EXPECT_FALSE(now["automationPaused"].toBool(true));
    EXPECT_FALSE(now["requestPending"].toBool(true));
    EXPECT_FALSE(now["screenSaverPrevented"].toBool(true));
    EXPECT_EQ(now["emergencyAlarm"].toString(), "off");
    EXPECT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);
    now = status();
    EXPECT_TRUE(now["active"].toBool());
    EXPECT_EQ(now["reasons"].toArray(), QJsonArray({"timer"}));
    EXPECT_FALSE(now["assertionType"].toString().isEmpty());
    EXPECT_GT(now["remainingSeconds"].toDouble(), 1790.0);
    EXPECT_LE(now["remainingSeconds"].toDouble(), 1800.0);

    const auto second = run({"--headless", "--platform", "sim"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains("already running")) << second.err.toStdString();
    EXPECT_TRUE(active()) << "the refused second instance must not touch the session";
    EXPECT_EQ(run({"deactivate"}).exitCode, 0);
    now = status();
    EXPECT_FALSE(now["active"].toBool(true));
    EXPECT_FALSE(now.contains("remainingSeconds"));

    // Exit status 1 is a refusal by the instance, 2 a usage error; neither changes anything.
    ASSERT_EQ(run({"sim", "launch=org.example.Editor:Editor", "launch=org.example.Player:Player"}).exitCode, 0);
    const struct {
        QStringList args;
        int exitCode;
        QString err;
    } refused[] = {
        {{"activate", "--profile", "No Such Profile"}, 1, "No Such Profile"},
        {{"activate", "--duration", "soon"}, 2, "soon"},
        {{"torvel://activate?until=24:00"}, 1, "Invalid time '24:00'"},
        {{"torvel://Activate"}, 1, "Unknown command 'Activate'"},
        {{"config", "set", "batteryLimitPercent", "5"}, 2, "an integer from 11 to 50"},
        {{"config", "set", "noSuchSetting", "1"}, 2, "unknown setting 'noSuchSetting'"},
        {{"config", "get", "noSuchSetting"}, 2, "unknown setting 'noSuchSetting'"},
        {{"keep-awake-while", "org.example.Missing"}, 1, ""},
        {{"keep-awake-while", "e"}, 2, ""},  // both names contain an e
        {{"sim", "battery=200"}, 2, ""},
        {{"sim", "lid=closed", "volume=3"}, 2, ""},
    };
    for (const auto& c : refused) {
        const auto result = run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(c.err)) << result.err.toStdString();
    }
    EXPECT_FALSE(status()["active"].toBool(true));
    EXPECT_TRUE(run({"sim"}).out.contains("lid=open")) << "a refused change applies nothing";
    EXPECT_EQ(run({"config", "get", "batteryLimitPercent"}).out.trimmed(), "20");

    // Over D-Bus an error is a D-Bus error; another scheme is ignored without a trace (the command line
    // refuses it; other programs may not).
    const auto unknown = callTorvel("OpenURL", {QString("torvel://Activate")});
    EXPECT_EQ(unknown.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_EQ(unknown.errorMessage(), "Unknown command 'Activate'");
    EXPECT_EQ(callTorvel("OpenURL", {QString("https://activate?duration=60")}).type(), QDBusMessage::ReplyMessage);
    // Calls read their input as URLs do (" 60" is no number), and echo only a short clean excerpt.
    EXPECT_EQ(callTorvel("Activate", {QString("duration"), QString(" 60")}).errorName(),
              "com.torvel.Torvel1.Error.InvalidArgument");
    const QString huge = QString(1 << 20, 'k') + "\x1b[2J";
    for (const auto& reply :
         {callTorvel("GetSetting", {QString("\x1b[2J") + huge}), callTorvel("Activate", {huge, QString()}),
          callTorvel("Activate", {QString("until"), huge}), callTorvel("KeepAwakeWhileAppRuns", {huge})}) {
        if (reply.type() != QDBusMessage::ErrorMessage) continue;  // no match is a plain "not running"
        EXPECT_LE(reply.errorMessage().toUtf8().size(), 512) << reply.errorName().toStdString();
        EXPECT_FALSE(reply.errorMessage().contains(QChar(0x1b))) << reply.errorName().toStdString();
    }
    EXPECT_FALSE(status()["active"].toBool(true));
    EXPECT_EQ(callTorvel("Activate", {QString("duration"), QString("60")}).arguments().value(0).toBool(), true);

    // The time zone is the instance's own: until midnight is at most a day away.
    EXPECT_EQ(run({"torvel://activate?until=00:00"}).exitCode, 0);
    const double untilMidnight = status()["remainingSeconds"].toDouble();
    EXPECT_GT(untilMidnight, 0.0);
    EXPECT_LE(untilMidnight, 24 * 3600.0 + 3600.0);  // a day, give or take a clock change
    // A profile by its built-in key.
    EXPECT_EQ(run({"activate", "--profile", "default_profile.cooking"}).exitCode, 0);
    EXPECT_EQ(status()["profile"].toString(), "Cooking");

    // Keeping awake while a chosen application runs, found by part of its name.
    const auto apps = run({"apps"});
    EXPECT_TRUE(apps.out.contains("org.example.Editor")) << apps.out.toStdString();
    const auto json = QJsonDocument::fromJson(run({"apps", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0].toObject()["name"].toString(), "Editor");
    ASSERT_EQ(run({"deactivate"}).exitCode, 0);
    const auto kept = run({"keep-awake-while", "EDIT"});
    EXPECT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_EQ(status()["reasons"].toArray(), QJsonArray({"processRunning"}));
    EXPECT_EQ(run({"sim", "quit=org.example.Editor"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); })) << "the watch ends when it quits";

    // What a panel reads from the status.
    ASSERT_EQ(run({"sim", "battery=80", "ac=off", "estimate=5400"}).exitCode, 0);
    ASSERT_EQ(run({"activate", "--profile", "Presentation"}).exitCode, 0);
    now = status();
    EXPECT_EQ(now["profile"].toString(), "Presentation");
    EXPECT_EQ(now["profileID"].toString().size(), 36) << "a UUID";
    EXPECT_TRUE(now["screenSaverPrevented"].toBool(false)) << "a presentation keeps the screen on";
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

    // A setting takes effect (the stricter limit refuses a session on a battery between the two
    // limits) and is kept across a restart.
    EXPECT_EQ(run({"config", "set", "batteryLimitPercent", "30"}).exitCode, 0);
    const auto list = run({"config", "list"});
    EXPECT_TRUE(list.out.contains("batteryLimitPercent") && list.out.contains("guardianHours")) << list.out.toStdString();
    EXPECT_EQ(run({"sim", "battery=25"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); }));
    EXPECT_EQ(run({"activate"}).exitCode, 1);
    ASSERT_TRUE(quits(first, SIGTERM));
    startInstance();
    EXPECT_EQ(run({"config", "get", "batteryLimitPercent"}).out.trimmed(), "30");
}

TEST_F(TorvelEndToEndTest, TimedSessionSurvivesACrashAndTerminationReleasesTheAssertion) {
    ASSERT_NO_FATAL_FAILURE(crashDuringATimedSession());

    QProcess& second = startInstance();
    const auto restored = status();
    EXPECT_TRUE(restored["active"].toBool());
    EXPECT_EQ(restored["reasons"].toArray(), QJsonArray({"timer"}));
    EXPECT_GT(restored["remainingSeconds"].toDouble(), 1700.0);
    EXPECT_LE(restored["remainingSeconds"].toDouble(), 1800.0);
    EXPECT_TRUE(quits(second, SIGTERM));
    EXPECT_TRUE(logged(second, "0 keep-awake assertions held at exit")) << log_.toStdString();
}

TEST_F(TorvelEndToEndTest, QuitsWithTheSessionBus) {
    QProcess& instance = startInstance();
    ASSERT_EQ(run({"activate"}).exitCode, 0);
    bus_.stop();
    ASSERT_TRUE(instance.waitForFinished(10000)) << "an instance must not outlive its session";
    EXPECT_EQ(instance.exitCode(), 0);
    EXPECT_TRUE(logged(instance, "0 keep-awake assertions held at exit"));
}

TEST_F(TorvelEndToEndTest, AFileSizeLimitFailsTheSaveWithoutEndingTorvel) {
    QProcess& instance = processes_.add(environment_);
    instance.setChildProcessModifier([] {
        const rlimit limit{1024, 1024};  // ulimit -f 1: the settings with their profiles are larger
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    instance.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"});
    ASSERT_TRUE(waitUntil([this] { return bus_.owns(kName); }));
    EXPECT_TRUE(logged(instance, "File too large")) << log_.toStdString();
    EXPECT_EQ(run({"status"}).exitCode, 0);
    EXPECT_EQ(instance.state(), QProcess::Running) << "SIGXFSZ must not end it";
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
    // A refusal, not a failure, by every way in.
    for (const QStringList& args : {QStringList{"activate"}, QStringList{"torvel://activate?duration=60"}}) {
        const auto refused = run(args);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("battery is too low")) << refused.err.toStdString();
    }
    EXPECT_EQ(callTorvel("OpenURL", {QString("torvel://activate")}).errorName(),
              "com.torvel.Torvel1.Error.Refused");

    EXPECT_EQ(run({"sim", "ac=on"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return active(); })) << "the charger resumes it";
    EXPECT_TRUE(run({"sim", "thermal=critical"}).out.contains("thermal=critical"));
    EXPECT_TRUE(waitUntil([&] { return !status()["active"].toBool(true); })) << "the kill switch stops it";
    EXPECT_EQ(run({"sim", "thermal=nominal"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return active(); })) << "the suspended session resumes";

    EXPECT_EQ(run({"config", "set", "autoActivateOnExternalDisplay", "true"}).exitCode, 0);
    EXPECT_TRUE(status()["reasons"].toArray().contains("externalDisplay"));
    EXPECT_EQ(run({"config", "set", "autoActivateOnMirroring", "true"}).exitCode, 0);
    EXPECT_TRUE(run({"sim", "mirroring=on"}).out.contains("display=2 mirroring=on"));
    EXPECT_TRUE(waitUntil([&] { return status()["reasons"].toArray().contains("mirroring"); }));
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
    torvel::StartupCallHolder hung(bus_.connection(), "/com/torvel/Torvel");
    ASSERT_TRUE(hung.install());
    ASSERT_TRUE(bus_.connection().interface()->registerService(kName).isValid());
    const auto result = run({"status"});
    bus_.connection().interface()->unregisterService(kName);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Torvel did not answer within 3 s")) << result.err.toStdString();
}

TEST_F(TorvelEndToEndTest, ACallSentTheMomentTheNameAppearsIsAnsweredAfterTheRestore) {
    ASSERT_NO_FATAL_FAILURE(crashDuringATimedSession());

    QDBusServiceWatcher watcher(kName, bus_.connection(), QDBusServiceWatcher::WatchForRegistration);
    std::optional<QDBusPendingCall> early, simulation;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, [&] {
        early = bus_.connection().asyncCall(
            QDBusMessage::createMethodCall(kName, "/com/torvel/Torvel", "com.torvel.Torvel1", "Deactivate"));
        simulation = bus_.connection().asyncCall(QDBusMessage::createMethodCall(
            kName, "/com/torvel/Torvel/Simulation", "com.torvel.Torvel1.Simulation", "Describe"));
    });
    processes_.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"}, environment_);
    torvel::apptest::processEventsUntil([&] { return early && early->isFinished() && simulation->isFinished(); });
    ASSERT_TRUE(early && simulation) << "the name never appeared";
    EXPECT_EQ(early->reply().type(), QDBusMessage::ReplyMessage) << early->reply().errorMessage().toStdString();
    EXPECT_EQ(simulation->reply().type(), QDBusMessage::ReplyMessage)
        << simulation->reply().errorMessage().toStdString();
    EXPECT_FALSE(status()["active"].toBool(true)) << "the early deactivate came after the restored session";
}

TEST_F(TorvelEndToEndTest, OfTwoInstancesStartedTogetherTheLoserBuildsNothing) {
    QProcess* both[] = {&processes_.add(environment_), &processes_.add(environment_)};
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
    QProcess& instance = processes_.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"}, environment_);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(runtime.path() + "/torvel/bus"); }));

    // Another terminal: no session bus, no display to start one from.
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "TORVEL_PRIVATE_BUS"}) environment_.remove(name);
    EXPECT_EQ(run({"activate"}).exitCode, 0);
    EXPECT_TRUE(active());

    // The terminal it ran in closed: the same quit path as SIGTERM.
    ASSERT_TRUE(quits(instance, SIGHUP));
    EXPECT_TRUE(logged(instance, "Quitting: releasing the power assertion")) << log_.toStdString();
    EXPECT_FALSE(QFile::exists(runtime.path() + "/torvel/bus")) << "the record goes with the instance";
    EXPECT_TRUE(run({"status"}).err.contains("Torvel is not running"));
}

// A URL or a window command starts Torvel when none runs; plain commands never do.
TEST_F(TorvelEndToEndTest, URLsAndWindowCommandsStartTorvelAndAHeadlessOneSaysItHasNoWindows) {
    withoutDisplay();
    const auto url = run({"torvel://activate?duration=600"});
    EXPECT_EQ(url.exitCode, 0) << url.err.toStdString();
    ASSERT_TRUE(bus_.owns(kName));
    EXPECT_GT(status()["remainingSeconds"].toDouble(), 590.0);
    quitStartedInstance();
    EXPECT_EQ(run({"deactivate"}).exitCode, 1);
    EXPECT_FALSE(bus_.owns(kName));

    const auto settings = run({"settings"});
    EXPECT_EQ(settings.exitCode, 0) << settings.err.toStdString();
    EXPECT_TRUE(bus_.owns(kName));
    quitStartedInstance();

    startInstance({"--headless"});
    for (const QStringList& args : {QStringList{"settings"}, QStringList{"about"}, QStringList{}}) {
        const auto refused = run(args);
        EXPECT_EQ(refused.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("without windows")) << refused.err.toStdString();
    }
}

// The way into the windows where no tray shows the icon (GNOME without the AppIndicator extension):
// torvel settings, torvel about and a second torvel, with Qt drawing offscreen and no tray host.
TEST_F(TorvelEndToEndTest, WindowCommandsOpenTheWindowsWhereNoTrayShowsTheIcon) {
    withoutDisplay();
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
    // A tab the window does not have is refused by the instance, as by the command line.
    const QDBusMessage reply = callTorvel("ShowSettings", {QString("\x1b[2Jwifi")});
    EXPECT_EQ(reply.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_FALSE(reply.errorMessage().contains('\x1b'));
    EXPECT_EQ(instance.state(), QProcess::Running);
}

}  // namespace
