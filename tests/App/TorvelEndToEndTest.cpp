// Runs the real torvel executable on the simulated machine, on a private session bus and a private
// configuration folder, and drives it only from outside: its commands and signals.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>

namespace {

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
    }

    void TearDown() override {
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
        EXPECT_TRUE(process.waitForFinished(10000)) << args.join(' ').toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QJsonObject status() {
        const auto result = run({"status", "--json"});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }

    bool nameOwned() { return connection_->interface()->isServiceRegistered("com.torvel.Torvel").value(); }

    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired()) return false;
            QThread::msleep(20);
        }
        return true;
    }

    QProcess& startInstance() {
        auto& instance = *instances_.emplace_back(std::make_unique<QProcess>());
        instance.setProcessEnvironment(environment_);
        instance.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"});
        EXPECT_TRUE(instance.waitForStarted(5000));
        EXPECT_TRUE(waitUntil([this] { return nameOwned(); })) << "the instance never took its bus name";
        return instance;
    }

    QTemporaryDir config_;
    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> connection_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> instances_;
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

    EXPECT_EQ(run({"torvel://activate?duration=60"}).exitCode, 0);
    now = status();
    EXPECT_TRUE(now["active"].toBool());
    EXPECT_GT(now["remainingSeconds"].toDouble(), 50.0);
    EXPECT_LE(now["remainingSeconds"].toDouble(), 60.0);

    EXPECT_EQ(run({"activate", "--profile", "No Such Profile"}).exitCode, 1);
    EXPECT_EQ(run({"activate", "--duration", "soon"}).exitCode, 2);
}

TEST_F(TorvelEndToEndTest, TimedSessionSurvivesACrashAndTerminationReleasesTheAssertion) {
    QProcess& first = startInstance();
    ASSERT_EQ(run({"activate", "--duration", "1800"}).exitCode, 0);

    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(waitUntil([this] { return !nameOwned(); }));

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

}  // namespace
