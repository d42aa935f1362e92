#include "App/StatusFollower.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "App/CommandLine.h"
#include "App/DBusService.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
// What GetAll may take: an instance that is starting holds the call until it is built.
constexpr int kReadTimeoutMs = 25000;

// The write end of the pipe the termination signals are turned into; -1 until one is made.
int signalWriteEnd = -1;

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(signalWriteEnd, &byte, 1);
    errno = saved;
}

bool isAnyOf(const QString& name, std::initializer_list<const char*> names) {
    for (const char* each : names)
        if (name == QLatin1String(each)) return true;
    return false;
}

}  // namespace

StatusFollower::StatusFollower(QDBusConnection bus, StatusLine::Format format, std::FILE* out, std::FILE* err)
    : bus_(bus), format_(format), out_(out), err_(err) {}

StatusFollower::~StatusFollower() {
    if (signalReadEnd_ >= 0) ::close(signalReadEnd_);
}

QDBusMessage StatusFollower::getAllCall() {
    auto call = QDBusMessage::createMethodCall(DBusService::kServiceName, DBusService::kObjectPath,
                                               kPropertiesInterface, "GetAll");
    call << QString::fromLatin1(DBusService::kInterface);
    return call;
}

StatusFollower::Reading StatusFollower::read(const QDBusMessage& reply, std::FILE* err) {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        // It went between the owner check and the call: the owner change follows and says so.
        if (isAnyOf(name, {"org.freedesktop.DBus.Error.ServiceUnknown",
                           "org.freedesktop.DBus.Error.NameHasNoOwner"}))
            return {};
        if (isAnyOf(
                name,
                {"org.freedesktop.DBus.Error.UnknownInterface", "org.freedesktop.DBus.Error.UnknownObject",
                 "org.freedesktop.DBus.Error.UnknownMethod", "org.freedesktop.DBus.Error.InvalidArgs"}))
            return {std::nullopt, true};
        std::fprintf(
            err, "torvel: the running Torvel did not answer: %s\n",
            URLCommandRouter::excerpt(reply.errorMessage().toStdString(), DBusService::kMaxErrorLength)
                .c_str());
        return {};
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "a{sv}")
        return {std::nullopt, true};
    QVariantMap properties;
    StatusLine::merge(properties, qdbus_cast<QVariantMap>(reply.arguments().at(0)));
    if (!StatusLine::complete(properties)) return {std::nullopt, true};
    return {std::move(properties), false};
}

int StatusFollower::printOnce(QDBusConnection bus, StatusLine::Format format, std::FILE* out,
                              std::FILE* err) {
    std::optional<QVariantMap> properties;
    if (bus.interface()->isServiceRegistered(DBusService::kServiceName).value()) {
        auto reading = read(bus.call(getAllCall(), QDBus::Block, kReadTimeoutMs), err);
        if (reading.incompatible) {
            std::fputs("torvel: the running Torvel does not offer its status as properties (is it older?)\n",
                       err);
            return CommandLine::kFailed;
        }
        properties = std::move(reading.properties);
    }
    std::fprintf(out, "%s\n", StatusLine::format(format, properties).toUtf8().constData());
    return CommandLine::kOk;
}

int StatusFollower::run() {
    catchTerminationSignals();
    // A bar that closes the pipe must end this quietly: the write fails with EPIPE instead.
    ::signal(SIGPIPE, SIG_IGN);
    bus_.connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local", "Disconnected", this,
                 SLOT(busDisconnected()));
    // Signals only from the owner of Torvel's name, whoever that is at the time.
    bus_.connect(DBusService::kServiceName, DBusService::kObjectPath, kPropertiesInterface,
                 "PropertiesChanged", this, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher = new QDBusServiceWatcher(DBusService::kServiceName, bus_,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &StatusFollower::ownerChanged);
    // Both are listened to before the first look, so that nothing happens unseen in between.
    running_ = bus_.interface()->isServiceRegistered(DBusService::kServiceName).value();
    if (running_) {
        readAll();
    } else {
        show(std::nullopt);
    }
    if (status_) return *status_;
    return loop_.exec();
}

void StatusFollower::readAll() {
    reading_ = true;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(getAllCall(), kReadTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (generation != generation_) return;  // asked of an owner that has gone since
                reading_ = false;
                auto reading = read(call->reply(), err_);
                if (reading.incompatible) {
                    std::fputs(
                        "torvel: the running Torvel does not offer its status as properties (is it "
                        "older?)\n",
                        err_);
                    finish(CommandLine::kFailed);
                    return;
                }
                properties_ = std::move(reading.properties);
                show(properties_);
            });
}

void StatusFollower::ownerChanged(const QString&, const QString&, const QString& newOwner) {
    ++generation_;
    reading_ = false;
    properties_.reset();
    running_ = !newOwner.isEmpty();
    if (running_) {
        readAll();
    } else {
        show(std::nullopt);
    }
}

void StatusFollower::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                       const QStringList& invalidated) {
    if (interface != QLatin1String(DBusService::kInterface) || !running_ || reading_) return;
    // The answer on its way was read after this change; without a reading (the last one failed) or
    // with values dropped rather than sent, everything is read again.
    if (!properties_ || !invalidated.isEmpty()) {
        readAll();
        return;
    }
    StatusLine::merge(*properties_, changed);
    show(properties_);
}

void StatusFollower::busDisconnected() {
    finish(CommandLine::kOk);  // the session is over
}

void StatusFollower::show(const std::optional<QVariantMap>& properties) {
    if (status_) return;
    const QString line = StatusLine::format(format_, properties);
    if (line == lastLine_) return;
    const QByteArray bytes = line.toUtf8() + '\n';
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out_) ==
                             static_cast<std::size_t>(bytes.size()) &&
                         std::fflush(out_) == 0;
    if (!written) {
        if (errno != EPIPE) std::fprintf(err_, "torvel: cannot write the status: %s\n", std::strerror(errno));
        finish(errno == EPIPE ? CommandLine::kOk : CommandLine::kFailed);
        return;
    }
    lastLine_ = line;
}

void StatusFollower::finish(int status) {
    if (status_) return;
    status_ = status;
    loop_.exit(status);
}

void StatusFollower::catchTerminationSignals() {
    // A signal handler may only write to a pipe; the loop reads it and ends. Without the pipe the
    // signals keep their default action, which ends the process as well.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signalReadEnd_ = ends[0];
    signalWriteEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    auto* notifier = new QSocketNotifier(signalReadEnd_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { finish(CommandLine::kOk); });
}

}  // namespace torvel
