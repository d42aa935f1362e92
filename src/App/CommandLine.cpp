#include "App/CommandLine.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <cstdlib>

#include "App/DBusService.h"
#include "Models/Duration.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

constexpr const char* kMainHelp =
    "Usage: torvel [--headless [--platform linux|sim]]\n"
    "       torvel activate [--duration SECONDS | --until HH:MM | --profile NAME]\n"
    "       torvel deactivate\n"
    "       torvel status [--json]\n"
    "       torvel 'torvel://COMMAND?...'\n"
    "\n"
    "Keeps this computer awake: by hand, through profiles, or while an external display,\n"
    "a trusted Wi-Fi network or a watched application calls for it. The commands talk to\n"
    "the running Torvel; each has its own --help.\n"
    "\n"
    "  --headless  run without the tray icon, controlled through the commands and D-Bus\n"
    "  --platform  linux (the default): this desktop; sim: a simulated machine, for tests\n"
    "  --doctor    show which desktop services this session offers and what Torvel does without each\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed (or Torvel is not running), 2 wrong usage.\n";

constexpr const char* kActivateHelp =
    "Usage: torvel activate [--duration SECONDS | --until HH:MM | --profile NAME]\n"
    "\n"
    "Keeps the computer awake until told otherwise, for SECONDS, until the next HH:MM (24-hour),\n"
    "or as the profile NAME says. Exits 1 when Torvel refuses, for example on a low battery.\n";
constexpr const char* kDeactivateHelp =
    "Usage: torvel deactivate\n"
    "\n"
    "Ends the session started by hand or by a profile. Automatic triggers that still hold keep\n"
    "the computer awake.\n";
constexpr const char* kStatusHelp =
    "Usage: torvel status [--json]\n"
    "\n"
    "Says whether the computer is kept awake, why, with which assertion and for how long.\n"
    "--json prints one object: active, reasons, assertionType, remainingSeconds, profile, message\n"
    "(the last four only when they apply).\n";

CommandLine usage(std::string what) {
    CommandLine line;
    line.action = CommandLine::Action::usage;
    line.text = std::move(what);
    return line;
}

CommandLine help(const char* text) {
    CommandLine line;
    line.action = CommandLine::Action::help;
    line.text = text;
    return line;
}

bool isHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

CommandLine parseActivate(const std::vector<std::string>& args) {
    CommandLine line;
    line.action = CommandLine::Action::activate;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (isHelp(arg)) return help(kActivateHelp);
        if (arg != "--duration" && arg != "--until" && arg != "--profile")
            return usage("unknown option '" + arg + "'");
        if (line.mode != "indefinite") return usage("give at most one of --duration, --until and --profile");
        if (i + 1 >= args.size()) return usage(arg + " needs a value");
        line.value = args[++i];
        if (arg == "--duration") {
            char* end = nullptr;
            const double seconds = std::strtod(line.value.c_str(), &end);
            if (line.value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0)
                return usage("--duration takes a positive number of seconds, not '" + line.value + "'");
            line.mode = "duration";
        } else if (arg == "--until") {
            if (!URLCommandRouter::parseUntilTime(line.value, Date(), Calendar::utc()))
                return usage("--until takes a time of day as HH:MM, not '" + line.value + "'");
            line.mode = "until";
        } else {
            if (line.value.empty()) return usage("--profile needs a name");
            line.mode = "profile";
        }
    }
    return line;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
    if (args.empty()) {
        CommandLine line;
        line.action = Action::tray;
        return line;
    }
    const auto& first = args[0];
    if (isHelp(first)) return help(kMainHelp);
    if (first == "--version" || first == "--doctor") {
        if (args.size() > 1) return usage(first + " takes no arguments");
        CommandLine line;
        line.action = first == "--version" ? Action::version : Action::doctor;
        return line;
    }
    if (first == "--headless") {
        CommandLine line;
        line.action = Action::headless;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (isHelp(args[i])) return help(kMainHelp);
            if (args[i] != "--platform") return usage("unknown option '" + args[i] + "'");
            if (i + 1 >= args.size()) return usage("--platform needs linux or sim");
            const auto& platform = args[++i];
            if (platform == "sim") {
                line.machine = AppDelegate::Machine::simulated;
            } else if (platform == "linux") {
                line.machine = AppDelegate::Machine::desktop;
            } else {
                return usage("--platform takes linux or sim, not '" + platform + "'");
            }
        }
        return line;
    }
    if (first == "activate") return parseActivate(args);
    if (first == "deactivate") {
        if (args.size() > 1)
            return isHelp(args[1]) ? help(kDeactivateHelp) : usage("deactivate takes no arguments");
        CommandLine line;
        line.action = Action::deactivate;
        return line;
    }
    if (first == "status") {
        CommandLine line;
        line.action = Action::status;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (isHelp(args[i])) return help(kStatusHelp);
            if (args[i] != "--json") return usage("unknown option '" + args[i] + "'");
            line.json = true;
        }
        return line;
    }
    if (first.starts_with("torvel:")) {
        if (args.size() > 1) return usage("give one URL");
        CommandLine line;
        line.action = Action::openURL;
        line.text = first;
        return line;
    }
    return usage("unknown command '" + first + "'");
}

namespace {

std::string formatStatus(const QVariantMap& status) {
    std::string text = status.value("message").toString().toStdString() + "\n";
    const auto reasons = status.value("reasons").toStringList();
    if (!reasons.isEmpty()) text += "Reasons: " + reasons.join(", ").toStdString() + "\n";
    if (status.contains("assertionType"))
        text += "Assertion: " + status.value("assertionType").toString().toStdString() + "\n";
    if (status.contains("remainingSeconds")) {
        const auto seconds = static_cast<long long>(std::ceil(status.value("remainingSeconds").toDouble()));
        text += "Remaining: " + Duration::formatInterval(static_cast<double>(seconds)) + " (" +
                std::to_string(seconds) + " s)\n";
    }
    if (status.contains("profile"))
        text += "Profile: " + status.value("profile").toString().toStdString() + "\n";
    return text;
}

}  // namespace

int runClient(const CommandLine& command, QDBusConnection bus, std::FILE* out, std::FILE* err) {
    if (!bus.isConnected()) {
        std::fprintf(err, "torvel: Torvel is not running (no session bus: %s)\n",
                     bus.lastError().message().toUtf8().constData());
        return CommandLine::kFailed;
    }
    if (!bus.interface()->isServiceRegistered(DBusService::kServiceName).value()) {
        std::fputs("torvel: Torvel is not running. Start it first (torvel, or torvel --headless).\n", err);
        return CommandLine::kFailed;
    }
    QDBusInterface torvel(DBusService::kServiceName, DBusService::kObjectPath, DBusService::kInterface, bus);
    auto failed = [&](const QDBusError& error) {
        std::fprintf(err, "torvel: the running Torvel did not answer: %s\n",
                     error.message().toUtf8().constData());
        return CommandLine::kFailed;
    };
    switch (command.action) {
        case CommandLine::Action::activate: {
            const QDBusMessage reply = torvel.call("Activate", QString::fromStdString(command.mode),
                                                   QString::fromStdString(command.value));
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
                return failed(QDBusError(reply));
            const bool ok = reply.arguments().at(0).toBool();
            std::fprintf(ok ? out : err, "%s\n", reply.arguments().at(1).toString().toUtf8().constData());
            return ok ? CommandLine::kOk : CommandLine::kFailed;
        }
        case CommandLine::Action::deactivate: {
            const QDBusReply<QString> reply = torvel.call("Deactivate");
            if (!reply.isValid()) return failed(reply.error());
            std::fprintf(out, "%s\n", reply.value().toUtf8().constData());
            return CommandLine::kOk;
        }
        case CommandLine::Action::status: {
            const QDBusReply<QVariantMap> reply = torvel.call("GetStatus");
            if (!reply.isValid()) return failed(reply.error());
            if (command.json) {
                const auto json =
                    QJsonDocument(QJsonObject::fromVariantMap(reply.value())).toJson(QJsonDocument::Compact);
                std::fprintf(out, "%s\n", json.constData());
            } else {
                std::fputs(formatStatus(reply.value()).c_str(), out);
            }
            return CommandLine::kOk;
        }
        case CommandLine::Action::openURL: {
            const QDBusMessage reply = torvel.call("OpenURL", QString::fromStdString(command.text));
            if (reply.type() != QDBusMessage::ReplyMessage) return failed(QDBusError(reply));
            return CommandLine::kOk;
        }
        default:
            std::fputs("torvel: not a client command\n", err);
            return CommandLine::kUsage;
    }
}

}  // namespace torvel
