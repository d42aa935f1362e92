// The client side of the torvel command: each action is one call to the running instance.
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "App/CommandLine.h"
#include "App/DBusService.h"
#include "App/PrivateBusAddress.h"
#include "App/SimulationService.h"
#include "App/StatusFollower.h"
#include "Models/Duration.h"
#include "Models/ShownText.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

// Whatever owns the bus name wrote every text of a reply, and names come from stored settings and
// desktop files: none reaches the terminal with its control characters (a title change, a cleared
// screen, colours) or bidirectional overrides. --json output is escaped by the encoder instead.

/// `text` as one line fit for a terminal.
std::string shownLine(const QString& text) {
    return sanitizedText(text.toStdString());
}

QString shown(const QString& text) {
    return QString::fromStdString(shownLine(text));
}

/// `text` fit for a terminal, its line breaks kept.
QString shownLines(const QString& text) {
    QStringList lines = text.split('\n');
    for (auto& line : lines) line = shown(line);
    return lines.join('\n');
}

std::string formatStatus(const QVariantMap& status) {
    std::string text = shownLine(status.value("message").toString()) + "\n";
    QStringList reasons = status.value("reasons").toStringList();
    for (auto& reason : reasons) reason = shown(reason);
    if (!reasons.isEmpty()) text += "Reasons: " + reasons.join(", ").toStdString() + "\n";
    if (status.contains("assertionType"))
        text += "Assertion: " + shownLine(status.value("assertionType").toString()) + "\n";
    if (status.contains("remainingSeconds")) {
        const auto seconds = static_cast<long long>(std::ceil(status.value("remainingSeconds").toDouble()));
        text += "Remaining: " + Duration::formatInterval(static_cast<double>(seconds)) + " (" +
                std::to_string(seconds) + " s)\n";
    }
    if (status.contains("profile"))
        text += "Profile: " + shownLine(status.value("profile").toString()) + "\n";
    // Only the two states worth a line; anything else from the instance is not echoed.
    const QString alarm = status.value("emergencyAlarm").toString();
    if (alarm == "sounding" || alarm == "unavailable")
        text += "Emergency alarm: " + alarm.toStdString() + "\n";
    return text;
}

void printJSON(std::FILE* out, const QJsonDocument& document) {
    std::fprintf(out, "%s\n", document.toJson(QJsonDocument::Compact).constData());
}

// How long a command waits for the instance. Reading is quick; taking or dropping inhibitors can
// legitimately take the desktop a few seconds. An instance that takes longer has hung.
constexpr int kReadTimeoutSeconds = 3;
constexpr int kChangeTimeoutSeconds = 15;

/// Prints the answer of one call and turns it into the exit code. Calls go straight to the method,
/// without introspecting first, and wait at most their timeout.
class Client {
public:
    Client(QDBusConnection bus, std::FILE* out, std::FILE* err) : bus_(bus), out_(out), err_(err) {}

    /// The reply of `method`, or std::nullopt after printing why there is none. `expectedArguments`
    /// -1 takes a reply of any length.
    std::optional<QList<QVariant>> call(const QString& method, const QList<QVariant>& args = {},
                                        int expectedArguments = 1, int timeoutSeconds = kReadTimeoutSeconds,
                                        const char* path = DBusService::kObjectPath,
                                        const char* interface = DBusService::kInterface) {
        auto request = QDBusMessage::createMethodCall(DBusService::kServiceName, path, interface, method);
        request.setArguments(args);
        const QDBusMessage reply = bus_.call(request, QDBus::Block, timeoutSeconds * 1000);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QString name = reply.errorName();
            // Whoever owns the name wrote this; it reaches a terminal only cleaned and short.
            const QString message = QString::fromStdString(
                URLCommandRouter::excerpt(reply.errorMessage().toStdString(), DBusService::kMaxErrorLength));
            if (name == DBusService::kErrorInvalidArgument) {
                exit_ = CommandLine::kUsage;
                print(err_, "torvel: " + message);
            } else if (name == DBusService::kErrorNotReady || name == DBusService::kErrorRefused ||
                       name == DBusService::kErrorNotSaved || name == DBusService::kErrorNoWindows) {
                print(err_, "torvel: " + message);
            } else if (name == "org.freedesktop.DBus.Error.NoReply" ||
                       name == "org.freedesktop.DBus.Error.Timeout") {
                // Only the answer is missing: the instance may still carry out a change it received.
                print(err_, QString("torvel: Torvel did not answer within %1 s").arg(timeoutSeconds) +
                                (timeoutSeconds == kChangeTimeoutSeconds
                                     ? "; the change may still take effect (see torvel status)"
                                     : ""));
            } else {
                print(err_, "torvel: the running Torvel did not answer: " + message);
            }
            lastError_ = name;
            return std::nullopt;
        }
        if (reply.type() != QDBusMessage::ReplyMessage ||
            (expectedArguments >= 0 && reply.arguments().size() != expectedArguments)) {
            print(err_, "torvel: the running Torvel gave an answer this command does not understand");
            return std::nullopt;
        }
        return reply.arguments();
    }

    void print(std::FILE* to, const QString& text) { std::fprintf(to, "%s\n", text.toUtf8().constData()); }
    std::FILE* out() { return out_; }
    std::FILE* err() { return err_; }
    /// The error name of the last failed call.
    const QString& lastError() const { return lastError_; }
    /// kFailed unless a call failed with a usage error.
    int failure() const { return exit_; }

private:
    QDBusConnection bus_;
    std::FILE* out_;
    std::FILE* err_;
    QString lastError_;
    int exit_ = CommandLine::kFailed;
};

/// The column a text needs, capped so that one long name does not push the others off the screen.
int width(const QString& text) {
    return static_cast<int>(std::min<qsizetype>(text.size(), 48));
}

template <typename T>
std::optional<T> demarshall(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return std::nullopt;
    T result;
    qvariant_cast<QDBusArgument>(value) >> result;
    return result;
}

int runApps(Client& client, bool json) {
    auto reply = client.call("RunningApps");
    if (!reply) return client.failure();
    const auto apps = demarshall<QList<DBusRunningApp>>(reply->at(0));
    if (!apps) return client.failure();
    if (json) {
        QJsonArray array;
        for (const auto& app : *apps) array.append(QJsonObject{{"id", app.id}, {"name", app.name}, {"pid", app.pid}});
        printJSON(client.out(), QJsonDocument(array));
        return CommandLine::kOk;
    }
    QList<std::pair<QString, QString>> rows;  // name and id, cleaned
    int nameWidth = 4, idWidth = 2;
    for (const auto& app : *apps) {
        const auto& row = rows.emplace_back(shown(app.name), shown(app.id));
        nameWidth = std::max(nameWidth, width(row.first));
        idWidth = std::max(idWidth, width(row.second));
    }
    client.print(client.out(), QString("%1  %2  %3").arg("NAME", -nameWidth).arg("ID", -idWidth).arg("PID"));
    for (qsizetype i = 0; i < apps->size(); ++i)
        client.print(client.out(), QString("%1  %2  %3")
                                       .arg(rows[i].first, -nameWidth)
                                       .arg(rows[i].second, -idWidth)
                                       .arg(apps->at(i).pid));
    return CommandLine::kOk;
}

int runConfigList(Client& client) {
    auto reply = client.call("ListSettings");
    if (!reply) return client.failure();
    const auto settings = demarshall<QList<DBusSetting>>(reply->at(0));
    if (!settings) return client.failure();
    QList<DBusSetting> rows;
    int keyWidth = 0, valueWidth = 0, typeWidth = 0;
    for (const auto& setting : *settings) {
        auto& row = rows.emplace_back(setting);
        for (QString* field : {&row.key, &row.value, &row.type, &row.help}) *field = shown(*field);
        keyWidth = std::max(keyWidth, width(row.key));
        valueWidth = std::max(valueWidth, width(row.value));
        typeWidth = std::max(typeWidth, width(row.type));
    }
    for (const auto& row : rows)
        client.print(client.out(), QString("%1  %2  %3  %4")
                                       .arg(row.key, -keyWidth)
                                       .arg(row.value, -valueWidth)
                                       .arg(row.type, -typeWidth)
                                       .arg(row.help));
    return CommandLine::kOk;
}

int runSimulate(Client& client, const std::vector<std::string>& assignments) {
    QStringList list;
    for (const auto& assignment : assignments) list << QString::fromStdString(assignment);
    const QString method = list.isEmpty() ? "Describe" : "Change";
    const QList<QVariant> args = list.isEmpty() ? QList<QVariant>{} : QList<QVariant>{list};
    auto reply = client.call(method, args, 1, kReadTimeoutSeconds, SimulationService::kObjectPath,
                             SimulationService::kInterface);
    if (!reply) {
        if (client.lastError() == "org.freedesktop.DBus.Error.UnknownObject" ||
            client.lastError() == "org.freedesktop.DBus.Error.UnknownMethod")
            client.print(client.err(),
                         "torvel: the running Torvel is not on the simulated machine (start it with "
                         "--platform sim)");
        return client.failure();
    }
    client.print(client.out(), shownLines(reply->at(0).toString()));
    return CommandLine::kOk;
}

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QDBusConnection clientBus() {
    auto bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) return bus;
    // No session bus here: an instance that ./scripts/run started on a private one may have left
    // its address.
    if (auto address = PrivateBusAddress::read(PrivateBusAddress::defaultFolder())) {
        auto recorded = QDBusConnection::connectToBus(QString::fromStdString(*address), "torvel-recorded");
        if (recorded.isConnected()) return recorded;
    }
    return bus;
}

bool startDetachedInstance(const QString& program, QDBusConnection bus, int timeoutMs) {
    QDBusServiceWatcher watcher(DBusService::kServiceName, bus, QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QProcess process;
    process.setProgram(program);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) return false;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    // The watcher is armed before the start, so a quick instance cannot slip past it.
    if (!bus.interface()->isServiceRegistered(DBusService::kServiceName).value()) loop.exec();
    return bus.interface()->isServiceRegistered(DBusService::kServiceName).value();
}

int runClient(const CommandLine& command, QDBusConnection bus, std::FILE* out, std::FILE* err,
              const std::function<bool()>& startInstance) {
    registerDBusTypes();
    if (!bus.isConnected()) {
        std::fprintf(err, "torvel: Torvel is not running (no session bus: %s)\n",
                     bus.lastError().message().toUtf8().constData());
        return CommandLine::kFailed;
    }
    // A status line for a bar says that Torvel is not running rather than failing, and waits for it
    // when following.
    if (command.action == CommandLine::Action::status && (command.follow || !command.json)) {
        if (const auto format = StatusLine::formatNamed(command.format)) {
            if (command.follow) return StatusFollower(bus, *format, out, err).run();
            return StatusFollower::printOnce(bus, *format, out, err);
        }
    }
    if (!bus.interface()->isServiceRegistered(DBusService::kServiceName).value()) {
        // What a link or a desktop entry's action asks for must work when Torvel is not running yet.
        const bool starts = command.action == CommandLine::Action::openURL ||
                            command.action == CommandLine::Action::showSettings ||
                            command.action == CommandLine::Action::showAbout;
        if (!starts || !startInstance) {
            std::fputs("torvel: Torvel is not running. Start it first (torvel, or torvel --headless).\n", err);
            return CommandLine::kFailed;
        }
        if (!startInstance()) {
            std::fputs("torvel: Torvel is not running and could not be started (see journalctl -t torvel)\n", err);
            return CommandLine::kFailed;
        }
    }
    Client client(bus, out, err);
    using A = CommandLine::Action;
    switch (command.action) {
        case A::activate: {
            auto reply = client.call("Activate", {qtext(command.mode), qtext(command.value)}, 2,
                                     kChangeTimeoutSeconds);
            if (!reply) return client.failure();
            const bool ok = reply->at(0).toBool();
            client.print(ok ? out : err, shown(reply->at(1).toString()));
            return ok ? CommandLine::kOk : CommandLine::kFailed;
        }
        case A::toggle: {
            auto reply = client.call("Toggle", {}, 2, kChangeTimeoutSeconds);
            if (!reply) return client.failure();
            client.print(out, shown(reply->at(1).toString()));
            return CommandLine::kOk;
        }
        case A::deactivate: {
            auto reply = client.call("Deactivate", {}, 1, kChangeTimeoutSeconds);
            if (!reply) return client.failure();
            client.print(out, shown(reply->at(0).toString()));
            return CommandLine::kOk;
        }
        case A::status: {
            auto reply = client.call("GetStatus");
            if (!reply) return client.failure();
            const auto status = qdbus_cast<QVariantMap>(reply->at(0));
            if (command.json) {
                printJSON(out, QJsonDocument(QJsonObject::fromVariantMap(status)));
            } else {
                std::fputs(formatStatus(status).c_str(), out);
            }
            return CommandLine::kOk;
        }
        case A::openURL:
            // A malformed URL is not a usage error of this command: the URL came from elsewhere.
            return client.call("OpenURL", {qtext(command.text)}, -1, kChangeTimeoutSeconds)
                       ? CommandLine::kOk
                       : CommandLine::kFailed;
        case A::keepAwakeWhile: {
            auto reply = client.call("KeepAwakeWhileAppRuns", {qtext(command.operands.at(0))}, 3,
                                     kChangeTimeoutSeconds);
            if (!reply) return client.failure();
            const bool ok = reply->at(0).toBool();
            const QString id = shown(reply->at(2).toString());
            client.print(ok ? out : err,
                         shown(reply->at(1).toString()) + (id.isEmpty() ? "" : " (" + id + ")"));
            return ok ? CommandLine::kOk : CommandLine::kFailed;
        }
        case A::apps:
            return runApps(client, command.json);
        case A::configList:
            return runConfigList(client);
        case A::configGet: {
            auto reply = client.call("GetSetting", {qtext(command.operands.at(0))});
            if (!reply) return client.failure();
            client.print(out, shown(reply->at(0).toString()));
            return CommandLine::kOk;
        }
        case A::configSet: {
            auto reply = client.call("SetSetting", {qtext(command.operands.at(0)), qtext(command.operands.at(1))});
            if (!reply) return client.failure();
            client.print(out, shown(qtext(command.operands.at(0))) + " = " + shown(reply->at(0).toString()));
            return CommandLine::kOk;
        }
        case A::simulate:
            return runSimulate(client, command.operands);
        case A::showSettings:
        case A::showAbout: {
            // A window built for the first time, or by an instance still starting, may take a moment.
            const bool settings = command.action == A::showSettings;
            return client.call(settings ? "ShowSettings" : "ShowAbout",
                               settings ? QList<QVariant>{qtext(command.value)} : QList<QVariant>{}, 0,
                               kChangeTimeoutSeconds)
                       ? CommandLine::kOk
                       : client.failure();
        }
        default:
            std::fputs("torvel: not a client command\n", err);
            return CommandLine::kUsage;
    }
}

}  // namespace torvel
