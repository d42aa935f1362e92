#pragma once

#include <QDBusConnection>
#include <cstdio>
#include <string>
#include <vector>

#include "App/AppDelegate.h"

namespace torvel {

/// What `torvel ARGS...` asks for: run the instance, or talk to the running one.
struct CommandLine {
    enum class Action { help, version, doctor, tray, headless, activate, deactivate, status, openURL, usage };
    /// Exit codes, as the usual conventions have them.
    static constexpr int kOk = 0, kFailed = 1, kUsage = 2;

    Action action = Action::usage;
    AppDelegate::Machine machine = AppDelegate::Machine::desktop;
    /// For activate: the mode and value of the D-Bus Activate call.
    std::string mode = "indefinite";
    std::string value;
    /// For status: print JSON instead of text.
    bool json = false;
    /// For openURL, the URL; for help, the text to print; for usage, what was wrong.
    std::string text;

    /// Reads the arguments after the program name. Never fails: a mistake is Action::usage.
    static CommandLine parse(const std::vector<std::string>& args);
};

/// Runs a client action (activate, deactivate, status, openURL) against the instance on `bus`,
/// printing results to `out` and problems to `err`; returns the exit code.
int runClient(const CommandLine& command, QDBusConnection bus, std::FILE* out, std::FILE* err);

}  // namespace torvel
