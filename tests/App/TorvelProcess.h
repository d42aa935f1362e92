#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QThread>

#include <functional>

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

/// Runs the torvel command with `args` in `environment` to its end; its exit status, or -1 when it
/// crashed or hung.
inline int runTorvel(const QProcessEnvironment& environment, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TORVEL_EXECUTABLE, args);
    EXPECT_TRUE(process.waitForFinished(15000));
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

/// Whether the running instance says it keeps the computer awake (`torvel status --json`).
inline bool torvelActive(const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TORVEL_EXECUTABLE, {"status", "--json"});
    process.waitForFinished(10000);
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object()["active"].toBool();
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
