#include "Platform/Linux/Power/LogindLidLock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <fcntl.h>

#include <utility>

namespace torvel {

namespace {
// logind answers at once; a system too busy for this is a refusal, retried at the next re-evaluation.
constexpr int kCallTimeoutMs = 5000;
}  // namespace

LogindLidLock::LogindLidLock(QDBusConnection system, LogSink& log)
    : system_(std::move(system)), log_(log, "Stayguard"), context_(std::make_unique<QObject>()) {}

LogindLidLock::~LogindLidLock() = default;

void LogindLidLock::take(const std::string& why, std::function<void(bool ok)> done) {
    auto message = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", "Inhibit");
    message << QStringLiteral("handle-lid-switch") << QStringLiteral("Torvel") << QString::fromStdString(why)
            << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(message, kCallTimeoutMs), context_.get());
    const std::uint64_t generation = generation_;
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, context_.get(),
        [this, generation, done = std::move(done)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "h") {
                log_.error("logind refused the lid lock: {} {}", reply.errorName().toStdString(),
                           reply.errorMessage().toStdString());
                done(false);
                return;
            }
            const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
            // Our own copy: the message's closes with it.
            FileDescriptor copy(fd.isValid() ? ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1);
            if (copy.get() < 0) {
                log_.error("logind answered the lid lock without a usable descriptor");
                done(false);
                return;
            }
            if (generation != generation_) {
                // Released while on its way: the lock is dropped with `copy`.
                done(false);
                return;
            }
            fd_ = std::move(copy);
            done(true);
        });
}

void LogindLidLock::release() {
    ++generation_;
    if (held()) fd_.close();
}

}  // namespace torvel
