#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QMutex>
#include <QString>
#include <functional>

namespace torvel {

/// Answers for Torvel while it starts. Installed at the object path (and everything below it) before
/// the bus name is taken, it keeps every call that arrives while the application is being built,
/// instead of letting the bus library refuse it as an unknown object. Once the real objects are
/// exported, release() hands each kept call to them and relays the answer to the caller, so a URL or
/// a D-Bus call that started Torvel is never lost. Lives on the main thread.
class StartupCallHolder : public QDBusVirtualObject {
    Q_OBJECT
public:
    StartupCallHolder(QDBusConnection bus, QString path);
    ~StartupCallHolder() override;

    /// Registers at the path and below it; false when the path is already taken.
    bool install();
    /// Leaves the path, runs `exportObjects` (which exports the real objects on the same connection,
    /// at once, so that no call finds the path empty), then forwards the kept calls (and any still
    /// queued for this holder) to them once the event loop runs, in the order they came.
    void release(const std::function<void()>& exportObjects);
    /// Calls kept so far and not yet forwarded.
    qsizetype heldCount() const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    /// Sends `call` again, now to the exported objects, and answers the original caller with the
    /// reply or error it gets.
    void forward(const QDBusMessage& call);

    QDBusConnection bus_;
    QString path_;
    mutable QMutex mutex_;
    QList<QDBusMessage> held_;
    bool installed_ = false;
    bool released_ = false;
};

}  // namespace torvel
