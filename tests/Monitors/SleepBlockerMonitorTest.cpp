#include "Monitors/SleepBlockerMonitor.h"

#include <gtest/gtest.h>

#include "Models/ShownText.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSleepBlockers.h"

namespace torvel {
namespace {

constexpr std::int32_t kOwnPID = 100;
constexpr std::uint32_t kOwnUID = 1000;

AssertionRecord lock(std::int64_t pid, BlockerKind kind = BlockerKind::systemSleep, bool blocking = true,
                     std::optional<std::string> name = "busy") {
    return AssertionRecord{pid, kind, blocking, std::move(name)};
}

struct SleepBlockerMonitorTest : ::testing::Test {
    CapturingLogSink sink;
    Logger log{sink, "SleepBlockers"};
    SimProcessInfo processes;
    SimAssertionTable table;

    std::vector<SleepBlocker> census(const std::vector<AssertionRecord>& rows) {
        return SleepBlockerMonitor::blockers(rows, kOwnPID, kOwnUID, processes, log);
    }
};

TEST_F(SleepBlockerMonitorTest, KeepsOnlyBlockingLocksOfOtherProcesses) {
    processes.addProcess(7, "backup", kOwnUID, "backup");
    processes.addProcess(9, "", 0, "updater");
    const auto found = census({
        lock(kOwnPID),                          // our own
        lock(9, BlockerKind::other),            // holds off no sleep (the lid switch, shutdown)
        lock(9, BlockerKind::idle),
        lock(7, BlockerKind::idle, false),      // only delays
        lock(7, BlockerKind::systemSleep, true, std::nullopt),
        lock(0), lock(-1), lock(std::int64_t{1} << 33),  // not process ids
    });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], (SleepBlocker{7, "backup", BlockerKind::systemSleep, "", true, "backup", simStartTime(7)}));
    EXPECT_EQ(found[1], (SleepBlocker{9, "", BlockerKind::idle, "busy", false, "updater", simStartTime(9)}));
    EXPECT_TRUE(census({lock(kOwnPID), lock(kOwnPID)}).empty());
}

TEST_F(SleepBlockerMonitorTest, CapsLocksPerProcessHoldersAndTexts) {
    std::vector<AssertionRecord> rows;
    for (int i = 0; i < 15; ++i) rows.push_back(lock(5, BlockerKind::systemSleep, true, "lock " + std::to_string(i)));
    processes.addProcess(5, "flood", kOwnUID, "flood");
    auto found = census(rows);
    ASSERT_EQ(found.size(), 10u);
    EXPECT_EQ(found.back().assertionName, "lock 9");
    EXPECT_EQ(processes.reads(), 1);  // the process is read once, not once per lock
    EXPECT_FALSE(sink.contains("SleepBlockers", "holder cap"));

    rows.clear();
    for (int pid = 260; pid > 200; --pid) rows.push_back(lock(pid));  // 60 holders, highest first
    found = census(rows);
    ASSERT_EQ(found.size(), 50u);
    EXPECT_EQ(found.front().pid, 201);
    EXPECT_EQ(found.back().pid, 250);
    EXPECT_TRUE(sink.contains("SleepBlockers", "hit the 50 holder cap"));

    const std::string longName(250, 'x');
    found = census({lock(8, BlockerKind::systemSleep, true, "a\nb\u200Dc\u202Ed" + longName)});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].assertionName, "abcd" + std::string(196, 'x') + "\u2026");
}

TEST_F(SleepBlockerMonitorTest, LocksTheSessionHoldsForItsApplicationsAreListedAsTheSessions) {
    processes.addProcess(3, "cinnamon-session", kOwnUID, "cinnamon-sessio");
    processes.addProcess(4, "", kOwnUID, "budgie-session-");  // executable unreadable: the kernel's cut name
    processes.addProcess(5, "gnome-session-binary", kOwnUID, "gnome-session-b");
    processes.addProcess(6, "gnome-shell", kOwnUID, "gnome-shell");
    processes.addProcess(7, "next-desktop-session", kOwnUID, "next-desktop-se");  // owns a session bus name
    processes.addProcess(8, "mate-session-tool", kOwnUID, "mate-session-to");
    SimSessionRelays relays;
    relays.setOwnerPids({7, 12});
    SleepBlockerMonitor monitor(table, processes, sink, kOwnPID, kOwnUID, &relays);
    table.setRecords({lock(3, BlockerKind::systemSleep, true, "user session inhibited"), lock(4), lock(5), lock(6),
                      lock(7), lock(8)});
    const auto found = monitor.currentBlockers();
    ASSERT_EQ(found.size(), 6u);
    std::vector<std::int32_t> relayed;
    for (const auto& blocker : found)
        if (blocker.isSessionRelay) relayed.push_back(blocker.pid);
    EXPECT_EQ(relayed, (std::vector<std::int32_t>{3, 4, 5, 7}));
    EXPECT_EQ(found[0].startTime, simStartTime(3));  // what a later signal is checked against

    // The session's names are looked up only when someone holds a lock; a failed lookup is logged and
    // the known session managers are still recognised.
    relays.setFailing(true);
    EXPECT_TRUE(monitor.currentBlockers()[0].isSessionRelay);
    EXPECT_TRUE(sink.contains("SleepBlockers", "Looking up the session's services failed: simulated failure"));
    table.setRecords({});
    const int lookups = relays.lookups();
    EXPECT_TRUE(monitor.currentBlockers().empty());
    EXPECT_EQ(relays.lookups(), lookups);

    for (const char* name : {"gnome-shell", "gsd-power", "kwin_wayland", "cinnamon-session", "cinnamon-sessio",
                             "mate-session", "lxqt-session", "xfce4-session"})
        EXPECT_TRUE(SleepBlockerMonitor::isProtectedProcessName(name)) << name;
    for (const char* name : {"gsd", "vlc", "mate-session-to", "cinnamon-sess"})
        EXPECT_FALSE(SleepBlockerMonitor::isProtectedProcessName(name)) << name;
}

TEST(SleepBlockerTest, DisplayNameFallsBackFromProcessToCommandToPid) {
    EXPECT_EQ((SleepBlocker{1, "Backup Tool", {}, "", false, "backup"}).displayName(), "Backup Tool");
    EXPECT_EQ((SleepBlocker{1, "", {}, "", false, "thirteenbytes"}).displayName(), "thirteenbytes");
    // The kernel cut the command name at 15 bytes: the reason's first word completes it.
    EXPECT_EQ((SleepBlocker{1, "", {}, "com.example.Syncer is uploading", false, "com.example.Syn"}).displayName(),
              "com.example.Syncer");
    EXPECT_EQ((SleepBlocker{1, "", {}, "Uploading files", false, "com.example.Syn"}).displayName(),
              "com.example.Syn");
    EXPECT_EQ((SleepBlocker{412, "", {}, "", false, ""}).displayName(), "PID 412");
}

TEST(ShownTextTest, RemovesHiddenCharactersAndRepairsBytes) {
    using namespace std::string_literals;
    EXPECT_EQ(sanitizedText("ok\t\x7f\xc2\x85 \u2028\u2029\uFEFF\U000E0041name"), "ok name");
    EXPECT_EQ(sanitizedText("caf\xc3\xa9 \xff\xc0\xaf \xed\xa0\x80"), "café \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(sanitizedText("Příliš žluťoučký 🐎"), "Příliš žluťoučký 🐎");
    // Terminal controls (C0, C1, escape sequences) and bidirectional overrides go.
    EXPECT_EQ(sanitizedText("a\0b\x1b]0;x\x07\xC2\x9B" "2J\xE2\x80\xAEgnp"s), "ab]0;x2Jgnp");
    // Beyond U+10FFFF, five-byte forms and a cut-off sequence are not UTF-8.
    EXPECT_EQ(sanitizedText("\xF4\x90\x80\x80|\xFC\x80\x80\x80|x\xE2\x82"),
              "\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|x\uFFFD\uFFFD");
    EXPECT_EQ(cappedText("žžžž", 3), "žžž\u2026");
    EXPECT_EQ(cappedText("žžž", 3), "žžž");
}

}  // namespace
}  // namespace torvel
