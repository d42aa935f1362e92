#pragma once

#include <QDBusConnection>
#include <cstdio>
#include <string>
#include <vector>

#include "App/AppDelegate.h"

namespace torvel {

/// What `torvel ARGS...` asks for: run the instance, or talk to the running one.
struct CommandLine {
    enum class Action {
        help, version, doctor, run, activate, deactivate, status, openURL, keepAwakeWhile, apps,
        configList, configGet, configSet, simulate, screenshot, showSettings, showAbout, toggle, usage
    };
    /// Exit codes, as the usual conventions have them.
    static constexpr int kOk = 0, kFailed = 1, kUsage = 2;

    Action action = Action::usage;
    /// Whether `run` goes without the tray even once the tray exists.
    bool headless = false;
    AppDelegate::Machine machine = AppDelegate::Machine::desktop;
    /// For activate: the mode and value of the D-Bus Activate call. For showSettings the tab in
    /// `value` (empty: the general tab).
    std::string mode = "indefinite";
    std::string value;
    /// For status and apps: print JSON instead of text.
    bool json = false;
    /// For status: the one-line format of --format ("waybar", "text"; with --json, "json"), empty
    /// for the usual output; with --follow a line again at every change.
    std::string format;
    bool follow = false;
    /// For openURL, the URL; for help, the text to print; for usage, what was wrong.
    std::string text;
    /// For keep-awake-while the application; for config get/set the key (and value); for sim the
    /// assignments.
    std::vector<std::string> operands;
    /// For screenshot: the folder in `text`, and the language ("en", "cs"; empty: the system's).
    std::string language;

    /// Reads the arguments after the program name; `platform` is $TORVEL_PLATFORM (the machine an
    /// instance runs on unless --platform says otherwise), nullptr when unset. Never fails: a
    /// mistake is Action::usage.
    static CommandLine parse(const std::vector<std::string>& args, const char* platform = nullptr);
};

/// The bus the client commands find Torvel on: the session bus, or without one the private bus whose
/// address a running instance recorded (see PrivateBusAddress). Not connected when neither is there.
QDBusConnection clientBus();

/// Runs a client action against the instance on `bus`, printing results to `out` and problems to
/// `err`; returns the exit code. Each call waits a few seconds at most: a hung instance is reported
/// as not answering, never waited for. With no instance running a URL, settings and about start one
/// first (as a URL handler or a desktop entry's action must), through `startInstance`, which returns
/// false when it could not be started; every other action says Torvel is not running.
int runClient(const CommandLine& command, QDBusConnection bus, std::FILE* out, std::FILE* err,
              const std::function<bool()>& startInstance = {});

/// Starts `program` as a detached Torvel instance and waits (up to `timeoutMs`) until it owns its
/// name on `bus`. False when it did not start or never took the name.
bool startDetachedInstance(const QString& program, QDBusConnection bus, int timeoutMs = 10000);

}  // namespace torvel
