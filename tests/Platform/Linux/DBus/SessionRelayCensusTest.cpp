#include <QDBusConnectionInterface>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "Monitors/SleepBlockerMonitor.h"
#include "Platform/Linux/Power/DBusSessionRelays.h"
#include "Platform/Linux/Power/LogindAssertionTable.h"
#include "Platform/Linux/Processes/PidfdProcessControl.h"
#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "PrivateBuses.h"
#include "Services/BlockerTermination.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using Bus = PrivateBuses::Bus;

// `program` (a copy of sleep) running as `uid` when given; returns once it has replaced the test's image.
pid_t spawnAs(const fs::path& program, std::optional<uid_t> uid) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid && (::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(99);
        ::execl(program.c_str(), program.filename().c_str(), "30", static_cast<char*>(nullptr));
        ::_exit(98);
    }
    const std::string comm = program.filename().string().substr(0, 15);
    for (int i = 0; i < 200; ++i) {
        if (ProcProcessInfo().identity(pid).value_or(ProcessInfo::Identity{}).comm == comm) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

int endSignal(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

TEST(SessionRelayCensus, TheSessionsLocksAreListedAsItsOwnAndNeverSignalled) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    // A process owning the session's screen-saver name, whatever its program is called.
    ASSERT_TRUE(buses.startMock(Bus::session, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                "org.freedesktop.ScreenSaver"));
    const auto mockPid = static_cast<pid_t>(
        buses.connection(Bus::session).interface()->servicePid("org.freedesktop.ScreenSaver").value());
    ASSERT_GT(mockPid, 0);

    // Programs named as the real ones. Root terminates nothing, so as root they run as nobody.
    const bool root = ::getuid() == 0;
    const std::optional<uid_t> as = root ? std::optional<uid_t>(65534) : std::nullopt;
    const auto user = static_cast<std::uint32_t>(as.value_or(::getuid()));
    const fs::path folder = fs::temp_directory_path() / ("torvel-relay-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file("/bin/sleep", folder / "cinnamon-session", fs::copy_options::overwrite_existing);
    const pid_t session = spawnAs(folder / "cinnamon-session", as);
    const pid_t plain = spawnAs("/bin/sleep", as);

    const QString table = QString("ret = [('sleep', '%1', 'user session inhibited', 'block', %2, %3),"
                                  " ('sleep', 'org.freedesktop.ScreenSaver', 'video', 'block', %2, %4),"
                                  " ('sleep', 'sleep', 'copying', 'block', %2, %5)]")
                              .arg(qEnvironmentVariable("USER", "me"))
                              .arg(user)
                              .arg(session)
                              .arg(mockPid)
                              .arg(plain);
    ASSERT_TRUE(buses.startMock(Bus::system, "org.freedesktop.login1", "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager"));
    ASSERT_TRUE(buses.addMethod(Bus::system, "org.freedesktop.login1", "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager", "ListInhibitors", "", "a(ssssuu)", table));

    CapturingLogSink sink;
    LogindAssertionTable assertions(buses.connection(Bus::system));
    ProcProcessInfo processes;
    DBusSessionRelays relays(buses.connection(Bus::session));
    SleepBlockerMonitor monitor(assertions, processes, sink, ::getpid(), user, &relays);
    const auto census = monitor.currentBlockers();
    ASSERT_EQ(census.size(), 3u);
    for (const auto& blocker : census) {
        EXPECT_EQ(blocker.isSessionRelay, blocker.pid != plain) << blocker.toString();
        EXPECT_TRUE(blocker.startTime) << blocker.toString();
    }

    PidfdProcessControl control;
    Logger log(sink, "EmergencySleep");
    EXPECT_EQ(terminateBlockers(census, control, user, log), (std::vector<std::int32_t>{plain}));
    EXPECT_EQ(endSignal(plain), SIGTERM);
    EXPECT_EQ(endSignal(session), SIGKILL);  // still there: nobody asked it to quit
    EXPECT_EQ(::kill(mockPid, 0), 0);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace torvel
