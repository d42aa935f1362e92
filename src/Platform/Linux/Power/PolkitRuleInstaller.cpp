#include "Platform/Linux/Power/PolkitRuleInstaller.h"

#include <regex>
#include <utility>

namespace torvel {

namespace {

// pkexec's own exit codes: the authentication dialog was dismissed, or the user may not do this.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;

// A JavaScript string literal for `text`: quotes, backslashes and anything unprintable escaped.
std::string javascriptString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            static const char* hex = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

PolkitRuleInstaller::PolkitRuleInstaller(ProcessRunner& runner, Scheduler& scheduler, LogSink& log,
                                         Options options)
    : runner_(runner), scheduler_(scheduler), log_(log, "Stayguard"), options_(std::move(options)) {}

PolkitRuleInstaller::~PolkitRuleInstaller() {
    if (worker_.joinable()) worker_.join();
}

std::optional<std::string> PolkitRuleInstaller::ruleText(const std::string& user) {
    static const std::regex plainLogin("^[a-z_][a-z0-9_.-]*$");
    if (user.empty() || user.size() > 256 || !std::regex_match(user, plainLogin)) return std::nullopt;
    return "// Written by Torvel: lets " + user +
           " keep the lid from sleeping the machine, hold the power saver and suspend, without a password.\n"
           "polkit.addRule(function(action, subject) {\n"
           "    var actions = [\"org.freedesktop.login1.inhibit-handle-lid-switch\",\n"
           "                   \"net.hadess.PowerProfiles.hold-profile\",\n"
           "                   \"org.freedesktop.UPower.PowerProfiles.hold-profile\",\n"
           "                   \"org.freedesktop.login1.suspend\"];\n"
           "    if (subject.user == " +
           javascriptString(user) +
           " && actions.indexOf(action.id) >= 0) {\n"
           "        return polkit.Result.YES;\n"
           "    }\n"
           "});\n";
}

const char* PolkitRuleInstaller::installScript() {
    // The values arrive as "$1" and "$2" only: quoted expansions are never split, globbed or run. The
    // rule is written in a private folder first, so the rules folder never holds half a rule.
    return "umask 022\n"
           "t=\"$(mktemp -d /var/tmp/torvel.XXXXXX)\" || exit 1\n"
           "trap 'rm -rf \"$t\"' EXIT\n"
           "printf '%s' \"$1\" > \"$t/rule\" && install -o root -g root -m 0644 -- \"$t/rule\" "
           "\"$2/49-torvel.rules\"";
}

const char* PolkitRuleInstaller::removeScript() {
    return "rm -f -- \"$1/49-torvel.rules\"";
}

void PolkitRuleInstaller::install(const std::string& user, std::function<void(RuleChange)> done) {
    const auto rule = ruleText(user);
    if (!rule) {
        log_.error("Stayguard install refused: the user name is not a plain login name");
        scheduler_.post([done = std::move(done)] {
            done({RuleChange::Status::failed,
                  "the user name is not a plain login name; nothing was installed"});
        });
        return;
    }
    run({"/bin/sh", "-c", installScript(), "sh", *rule, options_.rulesDirectory}, std::move(done));
}

void PolkitRuleInstaller::remove(std::function<void(RuleChange)> done) {
    run({"/bin/sh", "-c", removeScript(), "sh", options_.rulesDirectory}, std::move(done));
}

void PolkitRuleInstaller::run(std::vector<std::string> arguments, std::function<void(RuleChange)> done) {
    // One run at a time (the application never asks for two); the one before has ended.
    if (worker_.joinable()) worker_.join();
    // Guarded here, on the main loop: an answer posted after the installer is gone reaches nothing.
    worker_ = std::thread([this, arguments = std::move(arguments), done = lifetime_.guard(std::move(done))]() mutable {
        const RuleChange change = judge(runner_.run(options_.pkexecPath, arguments, options_.timeoutSeconds));
        scheduler_.post([done = std::move(done), change]() mutable { done(change); });
    });
}

RuleChange PolkitRuleInstaller::judge(const std::optional<ProcessResult>& result) const {
    if (!result) return {RuleChange::Status::failed, "pkexec could not be run or did not finish in time"};
    switch (result->status) {
        case 0:
            return {RuleChange::Status::done, {}};
        case kPkexecDismissed:
            log_.info("Stayguard: the administrator password dialog was dismissed");
            return {RuleChange::Status::cancelled, {}};
        case kPkexecNotAuthorised:
            return {RuleChange::Status::failed,
                    "not authorised to act as administrator, or pkexec cannot run"};
        default:
            return {RuleChange::Status::failed,
                    "the installation script failed with status " + std::to_string(result->status)};
    }
}

}  // namespace torvel
