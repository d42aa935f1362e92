#include <gtest/gtest.h>
#include <QDBusConnectionInterface>

#include <filesystem>

#include "Monitors/SleepBlockerMonitor.h"
#include "Platform/Linux/Power/DBusSessionRelays.h"
#include "Platform/Linux/Power/LogindAssertionTable.h"
#include "Platform/Linux/Processes/PidfdProcessControl.h"
#include "Platform/Linux/Processes/ProcProcessInfo.h"
#include "Platform/Linux/TestSupport.h"
#include "PrivateBuses.h"
#include "Services/BlockerTermination.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using Bus = PrivateBuses::Bus;

using test::endSignal;
using SessionRelayCensus = PrivateBusTest;

TEST_F(SessionRelayCensus, TheSessionsLocksAreListedAsItsOwnAndNeverSignalled) {
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
    const test::TemporaryFolder folder("torvel-relay");
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file("/bin/sleep", folder / "cinnamon-session", fs::copy_options::overwrite_existing);
    const pid_t sessionPid = test::spawnSleeper(folder / "cinnamon-session", as);
    const pid_t plain = test::spawnSleeper("/bin/sleep", as);

    const QString table = QString(
                              "[('sleep', '%1', 'user session inhibited', 'block', %2, %3),"
                              " ('sleep', 'org.freedesktop.ScreenSaver', 'video', 'block', %2, %4),"
                              " ('sleep', 'sleep', 'copying', 'block', %2, %5)]")
                              .arg(qEnvironmentVariable("USER", "me"))
                              .arg(user)
                              .arg(sessionPid)
                              .arg(mockPid)
                              .arg(plain);
    ASSERT_TRUE(buses.logindInhibitors(table));

    LogindAssertionTable assertions(system());
    ProcProcessInfo processes;
    DBusSessionRelays relays(session());
    SleepBlockerMonitor monitor(assertions, processes, log, ::getpid(), user, &relays);
    const auto census = monitor.currentBlockers();
    ASSERT_EQ(census.size(), 3u);
    for (const auto& blocker : census) {
        EXPECT_EQ(blocker.isSessionRelay, blocker.pid != plain) << blocker.toString();
        EXPECT_TRUE(blocker.startTime) << blocker.toString();
    }

    PidfdProcessControl control;
    Logger emergencyLog(log, "EmergencySleep");
    EXPECT_EQ(terminateBlockers(census, control, user, emergencyLog), (std::vector<std::int32_t>{plain}));
    EXPECT_EQ(endSignal(plain), SIGTERM);
    EXPECT_EQ(endSignal(sessionPid), SIGKILL);  // still there: nobody asked it to quit
    EXPECT_EQ(::kill(mockPid, 0), 0);
}

}  // namespace
}  // namespace torvel
