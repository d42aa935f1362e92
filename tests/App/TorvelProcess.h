#pragma once

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
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

}  // namespace torvel::apptest
