// `torvel status --follow --json` against the real torvel on the simulated machine and a private
// session bus: one line per change, through Torvel quitting and coming back, and a quiet end when
// the reader goes away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

constexpr const char* kName = "com.torvel.Torvel";

class StatusFollowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        if (!bus_.connected()) GTEST_SKIP() << "dbus-daemon did not start";
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.remove("TORVEL_PLATFORM");
    }

    QProcess& startInstance() {
        QProcess& instance =
            processes_.start(TORVEL_EXECUTABLE, {"--headless", "--platform", "sim"}, environment_);
        EXPECT_TRUE(waitUntil([this] { return bus_.owns(kName); })) << "the instance never took its bus name";
        return instance;
    }

    /// Starts `torvel ARGS` with its output on a pipe of the test's own, which the test can close.
    void startFollower(const QStringList& args) {
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        readEnd_ = ends[0];
        QProcess& follower = processes_.add(environment_);
        follower.setChildProcessModifier([writeEnd = ends[1]] { ::dup2(writeEnd, STDOUT_FILENO); });
        follower.start(TORVEL_EXECUTABLE, args);
        ASSERT_TRUE(follower.waitForStarted(5000));
        ::close(ends[1]);
        follower_ = &follower;
    }

    /// The reader goes away, as a bar that quits.
    void closeFollowerOutput() {
        ::close(readEnd_);
        readEnd_ = -1;
    }

    void TearDown() override {
        if (readEnd_ >= 0) ::close(readEnd_);
    }

    void run(const QStringList& args) {
        const auto result = torvel::apptest::runTorvel(environment_, args);
        EXPECT_EQ(result.exitCode, 0) << args.join(' ').toStdString() << ": " << result.err.toStdString();
    }

    /// Reads what the follower printed until a line satisfies `wanted` (checking only lines not yet
    /// seen), then returns how many lines came since the last call.
    qsizetype linesUntil(const std::function<bool(const QJsonObject&)>& wanted) {
        const qsizetype before = seen_;
        QDeadlineTimer deadline(15000);
        for (;;) {
            for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
                const QByteArray line = pending_.left(end);
                pending_.remove(0, end + 1);
                lines_.append(QString::fromUtf8(line));
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                EXPECT_FALSE(object.isEmpty()) << "not a JSON object: " << line.toStdString();
                if (wanted(object)) {
                    seen_ = lines_.size();
                    return seen_ - before;
                }
            }
            if (deadline.hasExpired()) {
                follower_->waitForFinished(1000);  // what it said on leaving, if it left
                ADD_FAILURE() << "no such line; printed:\n"
                              << lines_.join('\n').toStdString()
                              << "\nerrors: " << follower_->readAllStandardError().toStdString();
                return -1;
            }
            pollfd readable{readEnd_, POLLIN, 0};
            if (::poll(&readable, 1, 100) > 0) {
                char buffer[4096];
                const auto got = ::read(readEnd_, buffer, sizeof buffer);
                if (got > 0) pending_.append(buffer, got);
                if (got == 0) deadline = QDeadlineTimer(0);  // the follower is gone: no more lines
            }
        }
    }

    QTemporaryDir config_;
    torvel::apptest::PrivateBus bus_{"torvel-follow"};
    QProcessEnvironment environment_;
    torvel::apptest::Processes processes_;
    QProcess* follower_ = nullptr;
    int readEnd_ = -1;
    QByteArray pending_;
    QStringList lines_;
    qsizetype seen_ = 0;
};

bool notRunning(const QJsonObject& line) {
    return line == QJsonObject{{"running", false}};
}
bool awake(const QJsonObject& line) {
    return line["running"].toBool() && line["active"].toBool();
}
bool idle(const QJsonObject& line) {
    return line["running"].toBool() && !line["active"].toBool();
}

TEST_F(StatusFollowTest, PrintsOneLinePerChangeAcrossARestartAndEndsQuietlyWhenTheReaderGoes) {
    // Started before Torvel: it says so, and waits.
    startFollower({"status", "--follow", "--json"});
    EXPECT_EQ(linesUntil(notRunning), 1);
    QProcess* instance = &startInstance();
    EXPECT_EQ(linesUntil(idle), 1);

    // Each toggle is one change: one line, the next one's line comes right after it. Changes the line
    // does not show (an application starts, another network) print nothing.
    run({"sim", "launch=org.example.Editor:Editor", "wifi=Office"});
    run({"toggle"});
    EXPECT_EQ(linesUntil(awake), 1);
    EXPECT_EQ(lines_.last().contains(R"("reasons":["manual"])"), true) << lines_.last().toStdString();
    run({"toggle"});
    EXPECT_EQ(linesUntil(idle), 1);

    // A short countdown: its remaining time may tick once on the way, then it ends in one line.
    run({"activate", "--duration", "2"});
    const qsizetype counting = linesUntil(idle);
    EXPECT_GE(counting, 2);
    EXPECT_LE(counting, 4);  // 2 s, 1 s, (0 s,) off
    for (qsizetype i = lines_.size() - counting; i < lines_.size() - 1; ++i) {
        const QJsonObject line = QJsonDocument::fromJson(lines_[i].toUtf8()).object();
        EXPECT_TRUE(awake(line) && line.contains("countdownEnd") && line["reasons"] == QJsonArray{"timer"})
            << lines_[i].toStdString();
    }

    // Torvel quits and comes back: not running once, then the new instance, whose changes it follows.
    ::kill(static_cast<pid_t>(instance->processId()), SIGTERM);
    ASSERT_TRUE(instance->waitForFinished(10000));
    EXPECT_EQ(linesUntil(notRunning), 1);
    instance = &startInstance();
    EXPECT_EQ(linesUntil(idle), 1);
    run({"toggle"});
    EXPECT_EQ(linesUntil(awake), 1);

    // Never the same line twice in a row.
    for (qsizetype i = 1; i < lines_.size(); ++i) EXPECT_NE(lines_[i], lines_[i - 1]) << i;

    // The bar closes the pipe: the next line cannot be written, and the follower leaves with 0, silently.
    closeFollowerOutput();
    run({"toggle"});
    ASSERT_TRUE(follower_->waitForFinished(10000));
    EXPECT_EQ(follower_->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(follower_->exitCode(), 0);
    EXPECT_EQ(follower_->readAllStandardError().toStdString(), "");
}

}  // namespace

// The follower's click: `torvel toggle` ends a session, pauses automatic triggers, or is refused.
TEST_F(StatusFollowTest, ToggleDoesWhatAClickOnTheIconDoes) {
    startInstance();
    auto toggle = [this] { return torvel::apptest::runTorvel(environment_, {"toggle"}); };
    auto status = [this] { return torvel::apptest::statusOf(environment_); };
    auto reasons = [&] {
        QStringList list = status()["reasons"].toVariant().toStringList();
        list.sort();
        return list.join(' ').toStdString();
    };

    // Too little battery: refused with the reason, nothing changes.
    run({"sim", "battery=3", "ac=off"});
    auto refused = toggle();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("battery")) << refused.err.toStdString();
    EXPECT_FALSE(status()["active"].toBool());

    // Only an automatic trigger holds: the click pauses it rather than starting a session on top.
    run({"sim", "battery=80", "ac=on", "display=1"});
    run({"config", "set", "autoActivateOnExternalDisplay", "true"});
    ASSERT_TRUE(status()["active"].toBool());
    auto paused = toggle();
    EXPECT_EQ(paused.exitCode, 0) << paused.err.toStdString();
    EXPECT_TRUE(paused.out.contains("paused")) << paused.out.toStdString();
    EXPECT_FALSE(status()["active"].toBool());
    EXPECT_TRUE(status()["automationPaused"].toBool());

    // Again: a session by hand, which also ends the pause; once more ends it, and the display holds.
    EXPECT_EQ(toggle().exitCode, 0);
    EXPECT_EQ(reasons(), "externalDisplay manual");
    EXPECT_FALSE(status()["automationPaused"].toBool());
    EXPECT_EQ(toggle().exitCode, 0);
    EXPECT_EQ(reasons(), "externalDisplay");
}
