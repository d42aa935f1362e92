#include "Platform/Linux/Processes/ProcWorkspace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>

#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimSystemLocale.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr std::uint32_t kUser = 1000;

struct FakeProcess {
    std::int32_t pid;
    std::int32_t parent = 1;
    std::string exe{};  // empty: no link, as for a process we may not inspect
    std::string comm = "prog";
    std::string cmdline{};
    std::string environment{};
    std::string cgroup = "0::/user.slice/user-1000.slice/session-2.scope\n";
    std::uint32_t uid = kUser;
    char state = 'S';
    std::uint64_t startTime = 0;  // 0: one made from the pid
};

// A fake /proc and two applications folders (the user's, then the system's) in a temporary folder.
class ProcWorkspaceTest : public ::testing::Test {
protected:
    static void write(const fs::path& path, const std::string& text) { test::writeFile(path, text); }
    void entry(const std::string& file, const std::string& body, const char* folder = "system") {
        write(root_ / folder / file, "[Desktop Entry]\nType=Application\n" + body);
    }
    void add(const FakeProcess& p) {
        const fs::path dir = root_ / "proc" / std::to_string(p.pid);
        write(dir / "status", "Name:\t" + p.comm + "\nUid:\t" + std::to_string(p.uid) + "\t" +
                                  std::to_string(p.uid) + "\t0\t0\n");
        write(dir / "stat", std::to_string(p.pid) + " (" + p.comm + ") " + p.state + " " +
                                std::to_string(p.parent) + " 1 1 0 -1 4194304 0 0 0 0 0 0 0 0 20 0 1 0 " +
                                std::to_string(p.startTime ? p.startTime : 5000 + p.pid) + " 0 0\n");
        write(dir / "cmdline", p.cmdline);
        write(dir / "environ", p.environment);
        write(dir / "cgroup", p.cgroup);
        if (!p.exe.empty()) fs::create_symlink(p.exe, dir / "exe");
    }
    // Folders record changes by their modification time, which a fast test may not move by itself.
    void touch(const char* folder) {
        const fs::path path = root_ / folder;
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    }
    // Each listed application as "pid id", the id marked "~" when the application is not a regular one.
    std::string listed() {
        std::string out;
        for (const auto& app : workspace_.runningApplications())
            out += (out.empty() ? "" : ", ") + std::to_string(app.pid) + (app.isRegular ? " " : " ~") +
                   app.desktopId.value_or("?");
        return out;
    }
    std::string nameOf(std::int32_t pid) {
        for (const auto& app : workspace_.runningApplications())
            if (app.pid == pid) return app.name.value_or("<none>");
        return "<not listed>";
    }

    test::TemporaryFolder folder_{"torvel-proc"};
    fs::path root_ = folder_.path();
    SimClock clock_;
    VirtualScheduler scheduler_{clock_};
    SimSystemLocale locale_;
    CapturingLogSink log_;
    ProcWorkspace workspace_{scheduler_,
                             locale_,
                             log_,
                             {root_ / "proc", {root_ / "user", root_ / "system"}, kUser, /*usePidfd=*/false}};
};

TEST_F(ProcWorkspaceTest, MatchesByLaunchEnvironmentThenCgroupThenProgram) {
    const std::string system = (root_ / "system").string();
    entry("org.gnome.Maps.desktop", "Name=Maps\nExec=gapplication launch org.gnome.Maps\n");
    entry("org.gnome.gedit.desktop", "Name=Text Editor\nExec=gedit %U\n");
    entry("google-chrome.desktop", "Name=Chrome\nExec=/usr/bin/google-chrome-stable %U\n");
    entry("kde4/dolphin.desktop", "Name=Dolphin\nExec=dolphin5\n");
    entry("meld.desktop", "Name=Meld\nExec=meld\n");
    entry("foo.desktop",
          "Name=Foo\nExec=env GDK_BACKEND=x11 \"/opt/My Foo/foo\" %U\nStartupWMClass=Foo-Bin\n");
    entry("writer.desktop", "Name=Writer\nTryExec=oowriter\nExec=libreoffice --writer\n");
    entry("shell.desktop", "Name=Shell\nExec=bash -c foo\n");
    // Started over D-Bus, so no Exec of its own; only its action runs a program.
    write(root_ / "system/actions.desktop",
          "[Desktop Entry]\nType=Application\nName=Actions\nDBusActivatable=true\n"
          "[Desktop Action extra]\nName=Extra\nExec=extra-program\n");
    entry("org.kde.konsole.desktop", "Name=Konsole\nExec=konsole\n");
    entry("org.gnome.Terminal.desktop", "Name=Terminal\nExec=gnome-terminal\n");
    const std::string launched =
        "GIO_LAUNCHED_DESKTOP_FILE=" + system + "/org.gnome.Maps.desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=10"s;
    const std::string chromeScope =
        "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-google\\x2dchrome-77.scope\n";
    const std::string dolphinHint = "BAMF_DESKTOP_FILE_HINT=" + system + "/kde4/dolphin.desktop";
    const std::string terminalGroup =
        "12:cpu:/\n1:name=systemd:/app.slice/dbus-:1.2-org.gnome.Terminal@0.service\n";

    add({.pid = 10, .exe = "/usr/bin/gnome-maps", .environment = launched});
    // The variable is inherited by what Maps starts; that child is judged by its own program.
    add({.pid = 11, .parent = 10, .exe = "/usr/bin/gedit", .environment = launched});
    add({.pid = 12, .exe = "/opt/google/chrome/chrome", .cgroup = chromeScope});
    add({.pid = 13, .parent = 12, .exe = "/opt/google/chrome/chrome", .cgroup = chromeScope});  // a helper
    add({.pid = 14, .exe = "/app/bin/maps", .cgroup = "0::/user.slice/app-flatpak-org.gnome.Maps-3.scope\n"});
    add({.pid = 15, .exe = "/usr/bin/anything", .environment = dolphinHint});
    add({.pid = 16,
         .exe = "/usr/bin/python3.11",
         .comm = "meld",
         .cmdline = "/usr/bin/python3\0/usr/bin/meld"s});
    add({.pid = 17, .exe = "/opt/My Foo/foo-bin (deleted)"});
    add({.pid = 18, .exe = "/usr/lib/libreoffice/program/oowriter"});
    add({.pid = 19, .exe = "/usr/bin/bash", .comm = "bash"});                 // a shell names no application
    add({.pid = 20, .exe = "/usr/bin/extra-program", .comm = "extra-prog"});  // only an action runs it
    add({.pid = 21, .exe = "/usr/bin/foo"});                                  // Exec behind env and quotes
    add({.pid = 22, .exe = "/usr/bin/k", .cgroup = "0::/app.slice/app-org.kde.konsole@8e1f.service\n"});
    add({.pid = 23, .exe = "/usr/libexec/gnome-terminal-server", .cgroup = terminalGroup});

    EXPECT_EQ(listed(),
              "10 org.gnome.Maps, 11 org.gnome.gedit, 12 google-chrome, 13 ~google-chrome, "
              "14 org.gnome.Maps, 15 kde4-dolphin, 16 meld, 17 foo, 18 writer, 21 foo, "
              "22 org.kde.konsole, 23 org.gnome.Terminal");
}

TEST_F(ProcWorkspaceTest, NamesFollowLanguageAndUserEntriesOverrideSystemOnes) {
    entry("term.desktop", "Name=Terminal\nName[cs]=Terminál\nName[cs_CZ@euro]=Terminál €\nExec=term\n");
    entry("notes.desktop", "Name=Notes\nName[de]=Notizen \\s\\n!\nExec=notes\n");
    entry("hidden-by-user.desktop", "Name=System copy\nExec=hidden-by-user\n");
    entry("hidden-by-user.desktop", "Hidden=true\n", "user");
    entry("daemon.desktop", "Name=Daemon\nNoDisplay=true\nExec=daemon\n");
    entry("editor.desktop", "Name=System Editor\nExec=editor\n");
    // A C1 control (a terminal's CSI) and a right-to-left override are dropped.
    entry("editor.desktop",
          "Name=My \xC2\x9B"
          "2J\xE2\x80\xAE"
          "Editor\nExec=editor\n",
          "user");
    write(root_ / "system/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.com\n");
    add({.pid = 30, .exe = "/usr/bin/term"});
    add({.pid = 31, .exe = "/usr/bin/notes"});
    add({.pid = 32, .exe = "/usr/bin/hidden-by-user"});
    add({.pid = 33, .exe = "/usr/bin/daemon"});
    add({.pid = 34, .exe = "/usr/bin/editor"});
    add({.pid = 35, .exe = "/usr/bin/link"});

    EXPECT_EQ(nameOf(30), "Terminal");
    locale_.setPreferredLanguages({"cs_CZ.UTF-8"});
    EXPECT_EQ(nameOf(30), "Terminál");
    locale_.setPreferredLanguages({"cs_CZ.ISO-8859-15@euro"});
    EXPECT_EQ(nameOf(30), "Terminál €");
    locale_.setPreferredLanguages({"fr_FR", "de_AT.UTF-8"});
    EXPECT_EQ(nameOf(30), "Terminal");
    EXPECT_EQ(nameOf(31), "Notizen   !") << "escapes decoded, line breaks flattened";
    EXPECT_EQ(nameOf(34), "My 2JEditor");
    EXPECT_EQ(listed(), "30 term, 31 notes, 32 ~hidden-by-user, 33 ~daemon, 34 editor");
}

TEST_F(ProcWorkspaceTest, ListsOnlyThisUsersLiveProcessesAndSurvivesJunk) {
    entry("app.desktop", "Name=App\nExec=app\n");
    add({.pid = 300, .exe = "/usr/bin/app"});
    add({.pid = 41, .exe = "/usr/bin/app"});
    add({.pid = 42, .exe = "/usr/bin/app", .uid = 0});      // another user's copy
    add({.pid = 43, .exe = "/usr/bin/app", .state = 'Z'});  // ended, not yet reaped
    add({.pid = 44, .comm = "app"});                        // no exe link: known by comm
    fs::create_directories(root_ / "proc/45");              // vanished before we read it
    add({.pid = 46, .exe = "/usr/bin/app"});
    fs::remove(root_ / "proc/46/stat");  // vanished mid-scan
    add({.pid = 47, .exe = "/usr/bin/app"});
    write(root_ / "proc/47/status", "Uid:\t\xff\xfe\0\n"s);  // junk
    add({.pid = 48, .exe = "/usr/bin/app"});
    write(root_ / "proc/48/stat", "48 (app) S");  // truncated
    add({.pid = 49, .comm = "a) S 1 (app", .cmdline = "/usr/bin/app --type=renderer --x=/a/b"});
    for (const char* junk : {"self", "1x2", "-5", "99999999999"})
        fs::create_directories(root_ / "proc" / junk);
    // Hostile entries: binary junk, too large, a FIFO that would block a plain read, bad UTF-8.
    write(root_ / "system/junk.desktop", "\0\xff[Desktop Entry]\n\x01=\x02\nName\n"s);
    entry("large.desktop", "Name=Large\nExec=large\n#" + std::string(DesktopEntryIndex::kMaxFileBytes, 'x'));
    ASSERT_EQ(mkfifo((root_ / "system/fifo.desktop").c_str(), 0600), 0);
    entry("bad.desktop", "Name[cs]=\xc3\x28\nName=Good\nExec=bad\n");
    add({.pid = 50, .exe = "/usr/bin/large"});
    add({.pid = 51, .exe = "/usr/bin/bad"});
    locale_.setPreferredLanguages({"cs"});

    EXPECT_EQ(listed(), "41 app, 44 app, 49 app, 51 bad, 300 app");
    EXPECT_EQ(nameOf(51), "Good");
    fs::remove_all(root_ / "proc");
    EXPECT_TRUE(workspace_.runningApplications().empty());
}

TEST_F(ProcWorkspaceTest, RescansOnlyWhileSomeoneListens) {
    entry("app.desktop", "Name=App\nExec=app\n");
    add({.pid = 60, .exe = "/usr/bin/app"});
    int changes = 0;
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    Connection applicationsChanged = workspace_.applicationsChanged.connect([&] { ++changes; });
    EXPECT_EQ(scheduler_.activeTimerCount(), 1u);

    add({.pid = 61, .exe = "/usr/bin/late"});  // no entry for it yet
    scheduler_.advance(ProcWorkspace::kRescanSeconds * 2);
    EXPECT_EQ(changes, 0) << "an unknown program is no application";
    entry("late.desktop", "Name=Late\nExec=late\n");
    touch("system");
    scheduler_.advance(ProcWorkspace::kRescanSeconds);
    EXPECT_EQ(changes, 1) << "a newly installed entry is read at the next scan";
    add({.pid = 62, .parent = 60, .exe = "/usr/bin/app"});  // a helper of a running app
    scheduler_.advance(ProcWorkspace::kRescanSeconds * 3);
    EXPECT_EQ(changes, 1);
    fs::remove_all(root_ / "proc/60");  // the app ends; its helper lingers and still counts
    scheduler_.advance(ProcWorkspace::kRescanSeconds);
    EXPECT_EQ(changes, 2);
    fs::remove_all(root_ / "proc/62");  // the last process with that id
    scheduler_.advance(ProcWorkspace::kRescanSeconds);
    EXPECT_EQ(changes, 3);
    entry("daemon.desktop", "Name=Daemon\nNoDisplay=true\nExec=daemon\n");
    add({.pid = 64, .exe = "/usr/bin/daemon"});  // never regular, yet "is it running?" changed
    scheduler_.advance(ProcWorkspace::kRescanSeconds);
    EXPECT_EQ(changes, 4);

    applicationsChanged.reset();
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    add({.pid = 63, .exe = "/usr/bin/app"});
    scheduler_.advance(60);
    EXPECT_EQ(changes, 4);
}

TEST_F(ProcWorkspaceTest, RereadsOnlyProcessesThatStartedOrChangedProgram) {
    entry("app.desktop", "Name=App\nExec=app\n");
    entry("other.desktop", "Name=Other\nExec=other\n");
    add({.pid = 70, .exe = "/usr/bin/app"});
    add({.pid = 71, .exe = "/usr/bin/app", .uid = 0});
    add({.pid = 72, .exe = "/usr/bin/tool"});
    EXPECT_EQ(listed(), "70 app");

    // Known processes are judged by their stat alone: what else they had is not read again.
    for (const int pid : {70, 71, 72}) fs::remove(root_ / "proc" / std::to_string(pid) / "status");
    fs::remove(root_ / "proc/70/exe");
    EXPECT_EQ(listed(), "70 app");

    const auto replace = [this](const FakeProcess& p) {
        fs::remove_all(root_ / "proc" / std::to_string(p.pid));
        add(p);
    };
    replace({.pid = 70, .exe = "/usr/bin/other", .startTime = 9000});  // the id went to a new process
    replace({.pid = 71, .exe = "/usr/bin/app", .startTime = 9001});    // now the user's own
    replace({.pid = 72, .exe = "/usr/bin/app", .comm = "app"});        // the same process ran another program
    EXPECT_EQ(listed(), "70 other, 71 app, 72 app");
}

TEST_F(ProcWorkspaceTest, PollsForExitWithoutPidfd) {
    EXPECT_FALSE(workspace_.processExists(0));
    EXPECT_FALSE(workspace_.processExists(-1));
    EXPECT_TRUE(workspace_.processExists(getpid()));
    EXPECT_EQ(workspace_.watchExit(0, [] {}), nullptr);

    const pid_t first = test::spawnSleeper(), second = test::spawnSleeper();
    int exits = 0, cancelledExits = 0;
    auto watch = workspace_.watchExit(first, [&] { ++exits; });
    auto cancelled = workspace_.watchExit(second, [&] { ++cancelledExits; });
    ASSERT_NE(watch, nullptr);
    ASSERT_NE(cancelled, nullptr);
    scheduler_.advance(5);
    EXPECT_EQ(exits, 0);
    cancelled.reset();
    for (const pid_t pid : {first, second}) test::endSignal(pid);
    scheduler_.advance(ProcWorkspace::kExitPollSeconds);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(cancelledExits, 0);
    scheduler_.advance(10);
    EXPECT_EQ(exits, 1) << "called once";
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    EXPECT_EQ(workspace_.watchExit(first, [] {}), nullptr) << "a process that has gone";
}

}  // namespace
}  // namespace torvel
