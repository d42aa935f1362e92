#include "Platform/Linux/Desktop/XdgAutostartLoginItem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/LoginItemService.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    static std::string contents(const fs::path& path) { return test::readFile(path); }
    void put(const std::string& text) { test::writeFile(file, text); }

    test::TemporaryFolder folder{"torvel-autostart"};
    fs::path dir = folder.path();
    fs::path file = dir / "autostart" / "com.torvel.Torvel.desktop";
    XdgAutostartLoginItem item{file, "torvel"};
};

TEST_F(XdgAutostartLoginItemTest, WritesItsOwnEntryAndRemovesItAgain) {
    EXPECT_FALSE(item.isEnabled());
    EXPECT_EQ(item.disable(), std::nullopt) << "nothing to switch off is no failure";

    ASSERT_EQ(item.enable(), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    const std::string written = contents(file);
    EXPECT_EQ(written, item.entryText());
    EXPECT_TRUE(written.starts_with("[Desktop Entry]\n")) << written;
    EXPECT_NE(written.find("\nExec=torvel\n"), std::string::npos) << written;
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1) << "no temporary file left";

    // Written by an earlier build at another path, it is still ours.
    put("[Desktop Entry]\nType=Application\nName=Torvel\nComment=Keeps the computer awake\n"
        "Comment[cs]=Udrží počítač vzhůru\nExec=/opt/torvel/bin/torvel\nIcon=torvel\nTerminal=false\n"
        "StartupNotify=false\nX-GNOME-Autostart-enabled=true\n");
    ASSERT_EQ(item.disable(), std::nullopt);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(XdgAutostartLoginItemTest, ReadsAndKeepsEntriesEditedByHand) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {
        {"[Desktop Entry]\nExec=torvel --quiet\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=torvel\nX-GNOME-Autostart-enabled = false\n", false},
        {"[Desktop Entry]\nExec=torvel\nHidden=false\n", true},
        {"# comment\n[Other]\nHidden=false\n[Desktop Entry]\nExec=torvel\n[Desktop Action x]\nHidden=true\n", true},
        {"Exec=torvel\n", false},  // no entry group: nothing would start it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        put(c.text);
        EXPECT_EQ(item.isEnabled(), c.on);
    }

    // Switching on flips only the switches; the user's own lines stay.
    put("[Desktop Entry]\nExec=torvel --quiet\nHidden=true\nX-GNOME-Autostart-enabled=false\nX-Mine=1\n");
    ASSERT_EQ(item.enable(), std::nullopt);
    EXPECT_EQ(contents(file),
              "[Desktop Entry]\nExec=torvel --quiet\nHidden=false\nX-GNOME-Autostart-enabled=true\nX-Mine=1\n");
    EXPECT_TRUE(item.isEnabled());

    // Switching off keeps the file and hides it, adding the key where it is missing.
    put("[Desktop Entry]\nExec=torvel --quiet\n");
    ASSERT_EQ(item.disable(), std::nullopt);
    EXPECT_EQ(contents(file), "[Desktop Entry]\nHidden=true\nExec=torvel --quiet\n");
    EXPECT_FALSE(item.isEnabled());
}

TEST_F(XdgAutostartLoginItemTest, RefusesWhatItCannotWriteOrRead) {
    // A file where the autostart folder belongs: the desktop keeps its say, the user is told.
    std::ofstream(dir / "autostart") << "not a folder";
    CapturingLogSink log;
    Localization texts(log);
    SimClock clock;
    VirtualScheduler scheduler(clock);
    SimNotificationCenter center(scheduler);
    NotificationService notifications(center, scheduler, texts, log);
    notifications.setup();
    scheduler.runPending();
    LoginItemService service(item, notifications, texts, log);

    EXPECT_FALSE(service.setEnabled(true));
    ASSERT_EQ(center.requests().size(), 1u);
    EXPECT_EQ(center.requests()[0].identifier, "login-blocked");
    EXPECT_EQ(log.messages("Settings").size(), 1u) << "the reason is logged once";

    // A folder in the entry's place cannot be read, so it is neither taken for on nor written over.
    fs::remove(dir / "autostart");
    fs::create_directories(file);
    EXPECT_FALSE(item.isEnabled());
    EXPECT_NE(item.enable(), std::nullopt);
    EXPECT_TRUE(fs::is_directory(file));
}

TEST_F(XdgAutostartLoginItemTest, StartsTheProgramByNameOnlyWhenPathFindsThisOne) {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const test::ScopedEnv path("PATH", (dir / "bin").string());
    fs::create_directories(dir / "bin");
    fs::create_symlink(self, dir / "bin" / "torvel");
    EXPECT_EQ(XdgAutostartLoginItem::execCommand(), "torvel");
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(XdgAutostartLoginItem::execCommand(), self.string()) << "an ordinary path needs no quoting";
}

}  // namespace
}  // namespace torvel
