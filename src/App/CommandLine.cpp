#include "App/CommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "Models/Calendar.h"
#include "UI/SettingsTab.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

constexpr const char* kMainHelp =
    "Usage: torvel [--headless] [--platform linux|sim]\n"
    "       torvel --screenshot DIR [--lang en|cs]\n"
    "       torvel activate [--duration SECONDS | --until HH:MM | --profile NAME]\n"
    "       torvel deactivate\n"
    "       torvel status [--json | --format waybar|text] [--follow]\n"
    "       torvel toggle\n"
    "       torvel keep-awake-while APP\n"
    "       torvel apps [--json]\n"
    "       torvel config list | get KEY | set KEY VALUE\n"
    "       torvel sim NAME=VALUE...\n"
    "       torvel settings [--tab general|activation|battery|audio|profiles]\n"
    "       torvel about\n"
    "       torvel 'torvel://COMMAND?...'\n"
    "\n"
    "Keeps this computer awake: by hand, through profiles, or while an external display,\n"
    "a trusted Wi-Fi network or a watched application calls for it. Without a command, torvel\n"
    "starts (one instance per session) with its tray icon when a display is there, headless\n"
    "otherwise; run again, it asks the running one to show its icon, or its settings where no tray\n"
    "shows it. The commands talk to the running Torvel; each has its own --help.\n"
    "\n"
    "  --headless  run without the tray icon, controlled through the commands and D-Bus\n"
    "  --platform  linux (the default, or $TORVEL_PLATFORM): this desktop; sim: a simulated\n"
    "              machine for tests and demos, changed with torvel sim\n"
    "  --screenshot DIR [--lang en|cs]\n"
    "              draw every window to PNG files in DIR on the simulated machine, then exit\n"
    "  --doctor    show which desktop services this session offers and what Torvel does without each\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed (or Torvel is not running), 2 wrong usage.\n";

constexpr const char* kActivateHelp =
    "Usage: torvel activate [--duration SECONDS | --until HH:MM | --profile NAME]\n"
    "\n"
    "Keeps the computer awake until told otherwise, for SECONDS, until the next HH:MM (24-hour),\n"
    "or as the profile NAME says (its name as shown, or a built-in key such as\n"
    "default_profile.download). Exits 1 when Torvel refuses, for example on a low battery.\n";
constexpr const char* kDeactivateHelp =
    "Usage: torvel deactivate\n"
    "\n"
    "Ends the session started by hand or by a profile. Automatic triggers that still hold keep\n"
    "the computer awake.\n";
constexpr const char* kStatusHelp =
    "Usage: torvel status [--json | --format waybar|text] [--follow]\n"
    "\n"
    "Says whether the computer is kept awake, why, with which assertion and for how long.\n"
    "--json prints one object for scripts and panels: active, reasons, message, assertionType,\n"
    "remainingSeconds, countdownEnd, profile, profileID, screenSaverPrevented, onACPower,\n"
    "batteryPercent, batteryMinutesRemaining, automationPaused, automationPausedUntil,\n"
    "requestPending and emergencyAlarm (the README says what each means and when it is left out).\n"
    "--format prints one line for a status bar: waybar (a JSON object for a custom module with\n"
    "return-type json) or text (plain, for polybar and i3blocks).\n"
    "--follow keeps running and prints a new line whenever the status changes (with --json, one\n"
    "compact object a line; alone, text lines). It waits for Torvel when it is not running and\n"
    "says so in its line, never starting it, and ends when its output is closed.\n";
constexpr const char* kToggleHelp =
    "Usage: torvel toggle\n"
    "\n"
    "Does what a left click on the tray icon does: ends the session started by hand or by a\n"
    "profile, pauses the automatic triggers for an hour when only they keep the computer awake,\n"
    "and otherwise keeps it awake until told otherwise. Exits 1 when Torvel refuses.\n";
constexpr const char* kKeepAwakeWhileHelp =
    "Usage: torvel keep-awake-while APP\n"
    "\n"
    "Keeps the computer awake while the running application APP runs, alongside the watched\n"
    "applications. APP is its id as torvel apps lists it, or a part of its name that only one\n"
    "running application has. The watch ends when the application quits, or with torvel deactivate.\n"
    "Exits 1 when APP is not running or Torvel refuses.\n";
constexpr const char* kAppsHelp =
    "Usage: torvel apps [--json]\n"
    "\n"
    "Lists the running applications Torvel can watch: name, id and process id, sorted by name.\n"
    "--json prints an array of objects with id, name and pid.\n";
constexpr const char* kConfigHelp =
    "Usage: torvel config list\n"
    "       torvel config get KEY\n"
    "       torvel config set KEY VALUE\n"
    "\n"
    "Reads and changes the settings of the running Torvel, as the settings window does: a change\n"
    "takes effect at once and is kept. list shows every key with its value and the values it\n"
    "takes. An unknown key or a value of the wrong type exits 2 and changes nothing.\n";
constexpr const char* kSimHelp =
    "Usage: torvel sim NAME=VALUE...\n"
    "\n"
    "Changes the simulated machine of a Torvel started with --platform sim, all at once, and\n"
    "prints it. Without assignments, prints it.\n"
    "  battery=0..100|none   ac=on|off   charging=on|off   estimate=SECONDS|unknown\n"
    "  thermal=nominal|fair|serious|critical   lid=open|closed   display=N (external displays)\n"
    "  mirroring=on|off   wifi=SSID|off   launch=ID[:NAME]   quit=ID   (running applications)\n"
    "Example: torvel sim battery=15 ac=off lid=closed display=2\n";

constexpr const char* kSettingsHelp =
    "Usage: torvel settings [--tab general|activation|battery|audio|profiles]\n"
    "\n"
    "Opens Torvel's settings window (on the general tab unless --tab names another), or brings the\n"
    "open one to the front: the way in where no tray shows Torvel's icon. Starts Torvel first when it\n"
    "is not running. Exits 1 when the running Torvel has no windows (it runs with --headless or\n"
    "without a display).\n";
constexpr const char* kAboutHelp =
    "Usage: torvel about\n"
    "\n"
    "Opens the window with Torvel's version, as torvel settings opens the settings.\n";

CommandLine make(CommandLine::Action action) {
    CommandLine line;
    line.action = action;
    return line;
}

CommandLine usage(std::string what) {
    auto line = make(CommandLine::Action::usage);
    line.text = std::move(what);
    return line;
}

CommandLine help(const char* text) {
    auto line = make(CommandLine::Action::help);
    line.text = text;
    return line;
}

/// An argument repeated in a usage error: quoted, short, and without anything a terminal acts on.
std::string quotedArgument(std::string_view arg) {
    return "'" + URLCommandRouter::excerpt(arg) + "'";
}

bool isHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

bool isSettingsTabName(std::string_view name) {
    return std::any_of(kAllSettingsTabs.begin(), kAllSettingsTabs.end(),
                       [name](SettingsTab tab) { return rawValue(tab) == name; });
}

std::optional<AppDelegate::Machine> machineNamed(std::string_view name) {
    if (name == "sim") return AppDelegate::Machine::simulated;
    if (name == "linux") return AppDelegate::Machine::desktop;
    return std::nullopt;
}

CommandLine parseRun(const std::vector<std::string>& args, const char* platform) {
    auto line = make(CommandLine::Action::run);
    if (platform && *platform) {
        auto machine = machineNamed(platform);
        if (!machine) return usage("TORVEL_PLATFORM takes linux or sim");
        line.machine = *machine;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (isHelp(args[i])) return help(kMainHelp);
        if (args[i] == "--headless") {
            line.headless = true;
        } else if (args[i] == "--screenshot" || args[i] == "--lang") {
            // Renders the windows to PNG files on the simulated machine and exits; no instance runs.
            if (i + 1 >= args.size()) return usage(args[i] + " needs a value");
            if (args[i] == "--lang" && args[i + 1] != "en" && args[i + 1] != "cs")
                return usage("--lang takes en or cs, not " + quotedArgument(args[i + 1]));
            (args[i] == "--lang" ? line.language : line.text) = args[i + 1];
            if (args[i] == "--screenshot") line.action = CommandLine::Action::screenshot;
            ++i;
        } else if (args[i] == "--platform") {
            if (i + 1 >= args.size()) return usage("--platform needs linux or sim");
            auto machine = machineNamed(args[++i]);
            if (!machine) return usage("--platform takes linux or sim, not " + quotedArgument(args[i]));
            line.machine = *machine;
        } else {
            return usage("unknown option " + quotedArgument(args[i]));
        }
    }
    if (!line.language.empty() && line.action != CommandLine::Action::screenshot)
        return usage("--lang goes with --screenshot");
    return line;
}

CommandLine parseActivate(const std::vector<std::string>& args) {
    auto line = make(CommandLine::Action::activate);
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (isHelp(arg)) return help(kActivateHelp);
        if (arg != "--duration" && arg != "--until" && arg != "--profile")
            return usage("unknown option " + quotedArgument(arg));
        if (line.mode != "indefinite") return usage("give at most one of --duration, --until and --profile");
        if (i + 1 >= args.size()) return usage(arg + " needs a value");
        line.value = args[++i];
        if (arg == "--duration") {
            // The same reader as torvel: URLs and D-Bus, so " 60" is refused here as it is there.
            if (!URLCommandRouter::readSeconds(line.value))
                return usage("--duration takes a positive number of seconds, not " +
                             quotedArgument(line.value));
            line.mode = "duration";
        } else if (arg == "--until") {
            if (!URLCommandRouter::parseUntilTime(line.value, Date(), Calendar::utc()))
                return usage("--until takes a time of day as HH:MM, not " + quotedArgument(line.value));
            line.mode = "until";
        } else {
            if (line.value.empty()) return usage("--profile needs a name");
            line.mode = "profile";
        }
    }
    return line;
}

// A command whose only option is --json (status, apps) or none at all.
CommandLine parseSimple(const std::vector<std::string>& args, CommandLine::Action action, const char* helpText,
                        bool takesJSON) {
    auto line = make(action);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (isHelp(args[i])) return help(helpText);
        if (!takesJSON || args[i] != "--json")
            return usage(args[0] +
                         (takesJSON ? ": unknown option " + quotedArgument(args[i]) : " takes no arguments"));
        line.json = true;
    }
    return line;
}

CommandLine parseStatus(const std::vector<std::string>& args) {
    auto line = make(CommandLine::Action::status);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (isHelp(args[i])) return help(kStatusHelp);
        if (args[i] == "--follow") {
            line.follow = true;
            continue;
        }
        std::string format;
        if (args[i] == "--json") {
            format = "json";
        } else if (args[i] == "--format") {
            if (i + 1 >= args.size()) return usage("--format needs waybar or text");
            format = args[++i];
            if (format != "waybar" && format != "text" && format != "json")
                return usage("--format takes waybar, text or json, not " + quotedArgument(format));
        } else {
            return usage("status: unknown option " + quotedArgument(args[i]));
        }
        if (!line.format.empty()) return usage("give one of --json and --format");
        line.format = format;
    }
    line.json = line.format == "json";
    if (line.follow && line.format.empty()) line.format = "text";
    return line;
}

CommandLine parseSettings(const std::vector<std::string>& args) {
    auto line = make(CommandLine::Action::showSettings);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (isHelp(args[i])) return help(kSettingsHelp);
        if (args[i] != "--tab") return usage("settings: unknown option " + quotedArgument(args[i]));
        if (!line.value.empty() || i + 1 >= args.size())
            return usage("--tab takes one of general, activation, battery, audio, profiles");
        line.value = args[++i];
        if (!isSettingsTabName(line.value))
            return usage("--tab takes general, activation, battery, audio or profiles, not " +
                         quotedArgument(line.value));
    }
    return line;
}

CommandLine parseConfig(const std::vector<std::string>& args) {
    if (args.size() < 2) return usage("config needs list, get KEY or set KEY VALUE");
    for (const auto& arg : args)
        if (isHelp(arg)) return help(kConfigHelp);
    const auto& verb = args[1];
    const std::vector<std::string> operands(args.begin() + 2, args.end());
    CommandLine line;
    if (verb == "list" && operands.empty()) {
        line = make(CommandLine::Action::configList);
    } else if (verb == "get" && operands.size() == 1) {
        line = make(CommandLine::Action::configGet);
    } else if (verb == "set" && operands.size() == 2) {
        line = make(CommandLine::Action::configSet);
    } else {
        return usage("config takes list, get KEY or set KEY VALUE");
    }
    line.operands = operands;
    return line;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args, const char* platform) {
    // No command, or only options: run the instance.
    if (args.empty() ||
        (args[0].starts_with("--") && args[0] != "--help" && args[0] != "--version" && args[0] != "--doctor"))
        return parseRun(args, platform);
    const auto& first = args[0];
    if (isHelp(first)) return help(kMainHelp);
    if (first == "--version" || first == "--doctor") {
        if (args.size() > 1) return usage(first + " takes no arguments");
        return make(first == "--version" ? Action::version : Action::doctor);
    }
    if (first == "activate") return parseActivate(args);
    if (first == "deactivate") return parseSimple(args, Action::deactivate, kDeactivateHelp, false);
    if (first == "status") return parseStatus(args);
    if (first == "toggle") return parseSimple(args, Action::toggle, kToggleHelp, false);
    if (first == "apps") return parseSimple(args, Action::apps, kAppsHelp, true);
    if (first == "keep-awake-while") {
        if (args.size() > 1 && isHelp(args[1])) return help(kKeepAwakeWhileHelp);
        if (args.size() != 2 || args[1].empty()) return usage("keep-awake-while takes one application (see torvel apps)");
        auto line = make(Action::keepAwakeWhile);
        line.operands = {args[1]};
        return line;
    }
    if (first == "config") return parseConfig(args);
    if (first == "settings") return parseSettings(args);
    if (first == "about") return parseSimple(args, Action::showAbout, kAboutHelp, false);
    if (first == "sim") {
        auto line = make(Action::simulate);
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (isHelp(args[i])) return help(kSimHelp);
            if (args[i].find('=') == std::string::npos)
                return usage("sim takes NAME=VALUE, not " + quotedArgument(args[i]));
            line.operands.push_back(args[i]);
        }
        return line;
    }
    if (first.starts_with("torvel:")) {
        if (args.size() > 1) return usage("give one URL");
        auto line = make(Action::openURL);
        line.text = first;
        return line;
    }
    return usage("unknown command " + quotedArgument(first));
}

}  // namespace torvel
