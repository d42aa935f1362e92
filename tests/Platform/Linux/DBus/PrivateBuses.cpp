#include "Platform/Linux/DBus/PrivateBuses.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>
#include <atomic>

#include <signal.h>

namespace torvel {

namespace {

constexpr const char* kPython = "/usr/bin/python3";  // the interpreter that has dbusmock
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

std::atomic<int> connectionCounter{0};

}  // namespace

struct PrivateBuses::Daemon {
    QProcess process;
    QString address;
    QString connectionName;
};

PrivateBuses::PrivateBuses(bool withDbusmock) {
    if (!QFile::exists("/usr/bin/dbus-daemon")) {
        unavailable_ = "dbus-daemon is not installed (Debian package dbus-daemon)";
        return;
    }
    QProcess probe;
    if (withDbusmock) probe.start(kPython, {"-c", "import dbusmock"});
    if (withDbusmock && (!probe.waitForFinished(10000) || probe.exitCode() != 0)) {
        unavailable_ = "python3-dbusmock is not installed for /usr/bin/python3";
        return;
    }
    for (auto* slot : {&system_, &session_}) {
        auto daemon = std::make_unique<Daemon>();
        daemon->process.start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon->process.waitForStarted(5000) || !daemon->process.waitForReadyRead(5000)) {
            unavailable_ = "dbus-daemon did not start";
            return;
        }
        daemon->address = QString::fromUtf8(daemon->process.readLine()).trimmed();
        daemon->connectionName = QString("torvel-test-%1").arg(connectionCounter++);
        QDBusConnection::connectToBus(daemon->address, daemon->connectionName);
        *slot = std::move(daemon);
    }
}

PrivateBuses::~PrivateBuses() {
    for (auto& mock : mocks_) {
        mock->terminate();
        if (!mock->waitForFinished(2000)) mock->kill();
        mock->waitForFinished(2000);
    }
    for (auto* daemon : {system_.get(), session_.get()}) {
        if (!daemon) continue;
        QDBusConnection::disconnectFromBus(daemon->connectionName);
        daemon->process.terminate();
        if (!daemon->process.waitForFinished(2000)) daemon->process.kill();
        daemon->process.waitForFinished(2000);
    }
}

QDBusConnection PrivateBuses::connection(Bus bus) const {
    return QDBusConnection(daemon(bus)->connectionName);
}

QString PrivateBuses::address(Bus bus) const {
    return daemon(bus)->address;
}

bool PrivateBuses::startDbusmock(Bus bus, const QStringList& arguments, const QString& busName) {
    auto process = std::make_unique<QProcess>();
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", system_->address);
    env.insert("DBUS_SESSION_BUS_ADDRESS", session_->address);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = {"-m", "dbusmock"};
    if (bus == Bus::system) args << "--system";
    args << arguments;
    process->start(kPython, args);
    if (!process->waitForStarted(5000)) return false;
    mocks_.push_back(std::move(process));
    auto conn = connection(bus);
    return waitFor([&] { return conn.interface()->isServiceRegistered(busName).value(); }, 15000);
}

bool PrivateBuses::startTemplate(Bus bus, const QString& name, const QString& busName,
                                 const QString& parameters) {
    QStringList args = {"--template", name};
    if (!parameters.isEmpty()) args << "--parameters" << parameters;
    return startDbusmock(bus, args, busName);
}

bool PrivateBuses::startMock(Bus bus, const QString& busName, const QString& path, const QString& interface) {
    return startDbusmock(bus, {busName, path, interface}, busName);
}

bool PrivateBuses::addMethod(Bus bus, const QString& busName, const QString& path, const QString& interface,
                             const QString& method, const QString& inSig, const QString& outSig,
                             const QString& code) {
    auto message = QDBusMessage::createMethodCall(busName, path, kMockInterface, "AddMethod");
    message << interface << method << inSig << outSig << code;
    return connection(bus).call(message, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

std::vector<std::pair<QString, QVariantList>> PrivateBuses::calls(Bus bus, const QString& busName,
                                                                  const QString& path) const {
    std::vector<std::pair<QString, QVariantList>> out;
    auto message = QDBusMessage::createMethodCall(busName, path, kMockInterface, "GetCalls");
    const auto reply = connection(bus).call(message, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return out;
    // a(tsav): timestamp, method name, arguments
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        quint64 timestamp = 0;
        QString name;
        QVariantList args;
        arg.beginStructure();
        arg >> timestamp >> name;
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusVariant v;
            arg >> v;
            args << v.variant();
        }
        arg.endArray();
        arg.endStructure();
        out.emplace_back(name, args);
    }
    arg.endArray();
    return out;
}

std::vector<std::string> PrivateBuses::callLines(Bus bus, const QString& busName, const QString& path) const {
    std::vector<std::string> out;
    for (const auto& [method, args] : calls(bus, busName, path)) {
        QStringList words{method};
        for (const auto& arg : args) words << arg.toString();
        out.push_back(words.join(' ').toStdString());
    }
    return out;
}

QDBusMessage PrivateBuses::call(Bus bus, const QString& busName, const QString& path,
                                const QString& interface, const QString& method,
                                const QVariantList& arguments) const {
    auto message = QDBusMessage::createMethodCall(busName, path, interface, method);
    message.setArguments(arguments);
    return connection(bus).call(message, QDBus::Block, 5000);
}

bool PrivateBuses::setProperty(Bus bus, const QString& busName, const QString& path, const QString& interface,
                               const QString& name, const QVariant& value) const {
    return call(bus, busName, path, "org.freedesktop.DBus.Properties", "Set",
                {interface, name, QVariant::fromValue(QDBusVariant(value))})
               .type() == QDBusMessage::ReplyMessage;
}

bool PrivateBuses::emitSignal(Bus bus, const QString& busName, const QString& path, const QString& interface,
                              const QString& name, const QString& signature,
                              const QVariantList& arguments) const {
    return call(bus, busName, path, kMockInterface, "EmitSignal",
                {interface, name, signature, QVariant(arguments)})
               .type() == QDBusMessage::ReplyMessage;
}

bool PrivateBuses::releaseName(Bus bus, const QString& busName, const QString& path,
                               const QString& interface) {
    return addMethod(bus, busName, path, interface, "Quit", "", "",
                     QString("self.connection.release_name('%1')").arg(busName)) &&
           call(bus, busName, path, interface, "Quit").type() == QDBusMessage::ReplyMessage;
}

bool PrivateBuses::signalOwner(Bus bus, const QString& busName, int signal) const {
    const auto pid = connection(bus).interface()->servicePid(busName);
    return pid.isValid() && pid.value() > 0 && ::kill(static_cast<pid_t>(pid.value()), signal) == 0;
}

bool PrivateBuses::setPolkitVerdicts(const QMap<QString, QString>& verdicts) const {
    qDBusRegisterMetaType<QMap<QString, QString>>();
    return call(Bus::system, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                kMockInterface, "SetVerdicts", {QVariant::fromValue(verdicts)})
               .type() == QDBusMessage::ReplyMessage;
}

bool PrivateBuses::startPolkit(const QMap<QString, QString>& verdicts) {
    return startTemplate(Bus::system, TORVEL_DBUS_TEST_DIR "/polkitd_verdicts.py",
                         "org.freedesktop.PolicyKit1") &&
           (verdicts.isEmpty() || setPolkitVerdicts(verdicts));
}

bool PrivateBuses::logindMethod(const QString& method, const QString& inSig, const QString& outSig,
                                const QString& code) {
    const QString service = "org.freedesktop.login1", path = "/org/freedesktop/login1",
                  manager = "org.freedesktop.login1.Manager";
    if (!connection(Bus::system).interface()->isServiceRegistered(service).value() &&
        !startMock(Bus::system, service, path, manager))
        return false;
    return addMethod(Bus::system, service, path, manager, method, inSig, outSig, code);
}

bool PrivateBuses::waitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace torvel
