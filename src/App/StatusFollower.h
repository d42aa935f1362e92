#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>
#include <optional>

#include "App/StatusLine.h"

namespace torvel {

/// `torvel status --follow`: prints the status line of the running Torvel, then a new line each time
/// a PropertiesChanged signal changes it, never the same line twice in a row. Nothing is polled and
/// no timer runs: the follower sleeps until the bus brings something. While Torvel is not running it
/// prints the not-running line and waits for the name to be taken again (it never starts Torvel).
///
/// It ends with 0 when its output is closed (the bar went away; SIGPIPE is ignored for that), on
/// SIGINT or SIGTERM and when the session bus goes away; with 1 when the running Torvel does not offer
/// its state as properties or the output cannot be written.
class StatusFollower : public QObject {
    Q_OBJECT
public:
    StatusFollower(QDBusConnection bus, StatusLine::Format format, std::FILE* out, std::FILE* err);
    ~StatusFollower() override;

    /// Follows until one of the ends above; returns the exit code.
    int run();
    /// Prints the line once, the not-running line when Torvel is not running; the exit code.
    static int printOnce(QDBusConnection bus, StatusLine::Format format, std::FILE* out, std::FILE* err);

private Q_SLOTS:
    void ownerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);
    void busDisconnected();

private:
    /// What an answer to GetAll comes to.
    struct Reading {
        std::optional<QVariantMap> properties;  ///< std::nullopt: no state to show (Torvel left, or failed)
        bool incompatible = false;              ///< the answer does not carry the properties at all
    };
    static Reading read(const QDBusMessage& reply, std::FILE* err);
    static QDBusMessage getAllCall();

    /// Asks for every property again; answers from before the last owner change are dropped.
    void readAll();
    /// Prints the line for `properties` unless it is the one printed last.
    void show(const std::optional<QVariantMap>& properties);
    void finish(int status);
    void catchTerminationSignals();

    QDBusConnection bus_;
    StatusLine::Format format_;
    std::FILE* out_;
    std::FILE* err_;
    QEventLoop loop_;
    /// The properties as last read and changed; std::nullopt while Torvel is not running or unread.
    std::optional<QVariantMap> properties_;
    std::optional<QString> lastLine_;
    /// Counts owner changes, so that an answer from an earlier owner is recognised.
    quint64 generation_ = 0;
    bool running_ = false;  ///< the name has an owner
    bool reading_ = false;  ///< a GetAll is on its way
    std::optional<int> status_;
    int signalReadEnd_ = -1;
};

}  // namespace torvel
