#include "App/StartupCallHolder.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>
#include <QMutexLocker>
#include <utility>

namespace torvel {

namespace {

// A forwarded call gets as long as the caller's own would; a method that takes longer has hung.
constexpr int kForwardTimeoutMs = 25000;

}  // namespace

StartupCallHolder::StartupCallHolder(QDBusConnection bus, QString path)
    : bus_(std::move(bus)), path_(std::move(path)) {}

StartupCallHolder::~StartupCallHolder() {
    if (installed_ && !released_) bus_.unregisterObject(path_, QDBusConnection::UnregisterTree);
}

bool StartupCallHolder::install() {
    installed_ = bus_.registerVirtualObject(path_, this, QDBusConnection::SubPath);
    return installed_;
}

void StartupCallHolder::release(const std::function<void()>& exportObjects) {
    QList<QDBusMessage> held;
    {
        QMutexLocker lock(&mutex_);
        if (released_) return;
        released_ = true;
        held.swap(held_);
    }
    if (installed_) bus_.unregisterObject(path_, QDBusConnection::UnregisterNode);
    if (exportObjects) exportObjects();
    // From the event loop, not now: a call to our own objects runs at once, and the caller may have
    // start-up steps left (bringing back the saved session) that an early command must come after.
    for (const auto& call : held)
        QMetaObject::invokeMethod(
            this, [this, call] { forward(call); }, Qt::QueuedConnection);
}

qsizetype StartupCallHolder::heldCount() const {
    QMutexLocker lock(&mutex_);
    return held_.size();
}

QString StartupCallHolder::introspect(const QString&) const {
    return {};  // nothing to describe until the real objects are there
}

bool StartupCallHolder::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    QMutexLocker lock(&mutex_);
    if (!released_) {
        held_.append(message);
        return true;
    }
    // Queued for this holder before it left the path: forward it on the main thread like the rest.
    QMetaObject::invokeMethod(
        this, [this, message] { forward(message); }, Qt::QueuedConnection);
    return true;
}

void StartupCallHolder::forward(const QDBusMessage& call) {
    // To our own unique name, so that it reaches this connection's objects and not another owner.
    QDBusMessage again =
        QDBusMessage::createMethodCall(bus_.baseService(), call.path(), call.interface(), call.member());
    again.setArguments(call.arguments());
    if (!call.isReplyRequired()) {
        again.setAutoStartService(false);
        bus_.send(again);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(again, kForwardTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, call, watcher] {
        const QDBusMessage reply = watcher->reply();
        bus_.send(reply.type() == QDBusMessage::ErrorMessage
                      ? call.createErrorReply(reply.errorName(), reply.errorMessage())
                      : call.createReply(reply.arguments()));
        watcher->deleteLater();
    });
}

}  // namespace torvel
