#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace torvel::apptest {

/// Polls `done` every 50 ms until it holds or `timeoutMs` passed; true when it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    return true;
}

/// Runs the Qt event loop until `done` holds or `timeoutMs` passed; true when it held.
inline bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// A dbus-daemon of the test's own and a connection to it, both gone with the object.
class PrivateBus {
public:
    /// A session bus, or one read from the configuration file `config`; not connected() when the
    /// daemon did not start.
    explicit PrivateBus(QString name, const QString& config = {}) : name_(std::move(name)) {
        daemon_.start("dbus-daemon", {config.isEmpty() ? "--session" : "--config-file=" + config, "--nofork",
                                      "--print-address=1"});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        connection_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, name_));
    }
    ~PrivateBus() {
        connection_.reset();
        QDBusConnection::disconnectFromBus(name_);
        stop();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    /// Ends the daemon, as a session that closes does.
    void stop() {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    bool connected() const { return connection_->isConnected(); }
    const QString& address() const { return address_; }
    QDBusConnection& connection() { return *connection_; }
    bool owns(const QString& name) const { return connection_->interface()->isServiceRegistered(name).value(); }

private:
    QString name_, address_;
    QProcess daemon_;
    std::unique_ptr<QDBusConnection> connection_;
};

/// The processes a test starts; each is asked to quit when the object goes, the last started first.
class Processes {
public:
    ~Processes() {
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            if ((*it)->state() == QProcess::NotRunning) continue;
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) (*it)->kill();
            (*it)->waitForFinished(2000);
        }
    }
    /// A process in `environment`, not started yet.
    QProcess& add(const QProcessEnvironment& environment) {
        auto& process = *processes_.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(environment);
        return process;
    }
    QProcess& start(const QString& program, const QStringList& args, const QProcessEnvironment& environment) {
        QProcess& process = add(environment);
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted(5000)) << program.toStdString();
        return process;
    }

private:
    std::vector<std::unique_ptr<QProcess>> processes_;
};

#ifdef TORVEL_EXECUTABLE
/// A test with one `torvel --headless --platform sim` of its own, on a private bus, its settings in a
/// temporary folder. startTorvel() (in SetUp, after any defaults are written) starts it and waits for its
/// bus name; it ends with the test.
class HeadlessTorvelTest : public ::testing::Test {
protected:
    explicit HeadlessTorvelTest(QString busName) : bus_(std::move(busName)) {}

    /// The environment of Torvel, or of a client of it, on this test's bus and settings.
    QProcessEnvironment environment() const {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment.insert("XDG_CONFIG_HOME", config_.path());
        environment.remove("TORVEL_PLATFORM");
        return environment;
    }
    /// Starts Torvel; skips the test without a bus, fails it when Torvel does not take its name.
    void startTorvel() {
        ASSERT_TRUE(config_.isValid());
        if (!bus_.connected()) GTEST_SKIP() << "dbus-daemon did not start";
        processes_.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"}, environment());
        ASSERT_TRUE(waitUntil([this] { return bus_.owns("com.torvel.Torvel"); })) << "torvel did not take its name";
    }

    QTemporaryDir config_;
    PrivateBus bus_;
    Processes processes_;
};
#endif

struct Result {
    int exitCode = -1;  ///< -1 when it crashed or hung
    QString out, err;
};

/// Runs the torvel command with `args` in `environment` to its end.
inline Result runTorvel(const QProcessEnvironment& environment, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TORVEL_EXECUTABLE, args);
    // A command that starts Torvel first waits for it to come up.
    EXPECT_TRUE(process.waitForFinished(20000)) << args.join(' ').toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

/// What the running instance reports (`torvel status --json`); empty when none answers.
inline QJsonObject statusOf(const QProcessEnvironment& environment) {
    return QJsonDocument::fromJson(runTorvel(environment, {"status", "--json"}).out.toUtf8()).object();
}

/// Writes the stored settings `values` (each a typed value as the store writes it) where an instance
/// with XDG_CONFIG_HOME `configHome` reads them; false when the file cannot be written.
inline bool writeDefaults(const QString& configHome, const QJsonObject& values) {
    QFile file(configHome + "/torvel/defaults.json");
    if (!QDir(configHome).mkpath("torvel") || !file.open(QIODevice::WriteOnly)) return false;
    const QJsonObject defaults{{"format", "torvel-defaults"}, {"version", 1}, {"values", values}};
    return file.write(QJsonDocument(defaults).toJson()) > 0;
}

}  // namespace torvel::apptest
