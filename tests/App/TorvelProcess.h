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
