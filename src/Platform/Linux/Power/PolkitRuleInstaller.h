#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Log.h"
#include "Platform/ProcessRunner.h"
#include "Platform/Scheduler.h"
#include "Platform/StayguardHelper.h"
#include "Support/Lifetime.h"

namespace torvel {

/// Writes and removes the polkit rule that grants this user the helper's three actions, through pkexec
/// (which asks for an administrator's password). Every value reaches the root shell as a positional
/// argument, never inside the script's text, so no character of a user name or path is ever expanded.
/// The run happens on a worker thread; its outcome is posted to the main loop.
class PolkitRuleInstaller {
public:
    /// Where things are; tests point them at a stub and a folder of their own.
    struct Options {
        std::string pkexecPath = "/usr/bin/pkexec";
        std::string rulesDirectory = "/etc/polkit-1/rules.d";
        /// Long enough for a person to find and type the password.
        double timeoutSeconds = 300.0;
    };
    static constexpr const char* kRuleFileName = "49-torvel.rules";

    PolkitRuleInstaller(ProcessRunner& runner, Scheduler& scheduler, LogSink& log, Options options);
    /// Waits for a run still going (at most its time-out); its outcome is then not delivered.
    ~PolkitRuleInstaller();
    PolkitRuleInstaller(const PolkitRuleInstaller&) = delete;
    PolkitRuleInstaller& operator=(const PolkitRuleInstaller&) = delete;

    /// Writes the rule for `user`; `done` on the main loop. A name that is not a plain login name
    /// fails at once, with nothing run.
    void install(const std::string& user, std::function<void(RuleChange)> done);
    /// Removes the rule; `done` on the main loop.
    void remove(std::function<void(RuleChange)> done);

    /// The rule's JavaScript for `user`; std::nullopt when the name is not `^[a-z_][a-z0-9_.-]*$`.
    static std::optional<std::string> ruleText(const std::string& user);
    /// The shell scripts run as root: $1 is the rule text (install only), the last argument the folder.
    static const char* installScript();
    static const char* removeScript();

private:
    void run(std::vector<std::string> arguments, std::function<void(RuleChange)> done);
    RuleChange judge(const std::optional<ProcessResult>& result) const;

    ProcessRunner& runner_;
    Scheduler& scheduler_;
    Logger log_;
    Options options_;
    std::thread worker_;
    Lifetime lifetime_;
};

}  // namespace torvel
