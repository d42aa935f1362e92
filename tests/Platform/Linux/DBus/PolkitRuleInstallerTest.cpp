#include "Platform/Linux/Power/PolkitRuleInstaller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Platform/Linux/Helpers/BoundedProcess.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

// pkexec stands in as a script that runs the command as the calling user (counting its runs); for a
// user who is not root, an `install` in front on PATH leaves out the change of owner.
struct PolkitRuleInstallerTest : ::testing::Test {
    test::TemporaryFolder folder{"torvel-rule"};
    fs::path dir = folder.path();
    CapturingLogSink log;
    QtScheduler scheduler;
    BoundedProcess runner{log};

    void SetUp() override {
        write(dir / "shim" / "install",
              "skip=0\nfor a in \"$@\"; do\n  shift\n  if [ $skip = 1 ]; then skip=0; continue; fi\n"
              "  case \"$a\" in -o|-g) skip=1; continue;; esac\n  set -- \"$@\" \"$a\"\ndone\n"
              "exec /usr/bin/install \"$@\"");
        write(dir / "pkexec", "echo run >> '" + (dir / "runs").string() +
                                  "'\n[ \"$(id -u)\" = 0 ] || PATH='" + (dir / "shim").string() +
                                  "':$PATH\nexec \"$@\"");
    }
    static void write(const fs::path& path, const std::string& body) { test::writeScript(path, body); }
    static RuleChange await(const std::function<void(std::function<void(RuleChange)>)>& ask) {
        return PrivateBuses::await<RuleChange>(ask, 20000);
    }
    int runs() const {
        const std::string text = test::readFile(dir / "runs");
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
};

TEST_F(PolkitRuleInstallerTest, NoCharacterOfAPathOrNameReachesTheRootShellAsCode) {
    // Every way a double-quoted shell string can still run something.
    const fs::path pwned = dir / "pwned";
    const fs::path rules = dir / ("rules $(touch " + pwned.string() + ") `touch " + pwned.string() +
                                  "` \"quoted\" 'single' \\ $HOME");
    fs::create_directories(rules);
    PolkitRuleInstaller installer(runner, scheduler, log, {(dir / "pkexec").string(), rules.string(), 20.0});

    const auto installed = await([&](auto done) { installer.install("ci-user_1.x", std::move(done)); });
    EXPECT_EQ(installed.status, RuleChange::Status::done) << installed.message;
    EXPECT_FALSE(fs::exists(pwned));
    const fs::path rule = rules / PolkitRuleInstaller::kRuleFileName;
    EXPECT_EQ(test::readFile(rule), PolkitRuleInstaller::ruleText("ci-user_1.x").value());
    EXPECT_NE(test::readFile(rule).find("subject.user == \"ci-user_1.x\""), std::string::npos);
    EXPECT_EQ(
        fs::status(rule).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    // A name that is not a plain login name runs nothing at all.
    for (const std::string& user :
         std::vector<std::string>{"$(touch " + pwned.string() + ")", "a\"b", "Root", "", "-x"}) {
        EXPECT_EQ(PolkitRuleInstaller::ruleText(user), std::nullopt) << user;
        EXPECT_EQ(await([&](auto done) { installer.install(user, std::move(done)); }).status,
                  RuleChange::Status::failed);
    }
    EXPECT_EQ(runs(), 1);

    EXPECT_EQ(await([&](auto done) { installer.remove(std::move(done)); }).status, RuleChange::Status::done);
    EXPECT_FALSE(fs::exists(rule));
    EXPECT_FALSE(fs::exists(pwned));
}

TEST_F(PolkitRuleInstallerTest, PkexecsExitStatusTellsCancelledFromFailed) {
    const struct {
        std::string body;
        RuleChange::Status status;
    } cases[] = {
        {"exit 126", RuleChange::Status::cancelled},
        {"exit 127", RuleChange::Status::failed},
        {"exit 3", RuleChange::Status::failed},
        {"exit 0", RuleChange::Status::done},
    };
    for (const auto& c : cases) {
        write(dir / "pkexec", c.body);
        PolkitRuleInstaller installer(runner, scheduler, log,
                                      {(dir / "pkexec").string(), dir.string(), 20.0});
        EXPECT_EQ(await([&](auto done) { installer.install("someone", std::move(done)); }).status, c.status)
            << c.body;
    }
    PolkitRuleInstaller missing(runner, scheduler, log, {(dir / "no-pkexec").string(), dir.string(), 20.0});
    EXPECT_EQ(await([&](auto done) { missing.install("someone", std::move(done)); }).status,
              RuleChange::Status::failed);
}

}  // namespace
}  // namespace torvel
