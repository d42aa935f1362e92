// The tray controller on a private session bus, while a shell extension shows Torvel in the desktop's
// own panel and after it stopped.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <cstdlib>
#include <optional>
#include <string>

#include "Core/TimerManager.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "PrivateBuses.h"
#include "Tray/TrayController.h"

namespace torvel {
namespace {

constexpr const char* kIcons = TORVEL_BUILD_SHARE "/icons";

class TrayControllerTest : public PrivateBusTest {
protected:
    void SetUp() override {
        PrivateBusTest::SetUp();
        if (IsSkipped()) return;
        // No X display: the XEmbed helper is not started behind the test's back.
        if (const char* display = std::getenv("DISPLAY")) display_ = display;
        ::unsetenv("DISPLAY");
    }
    void TearDown() override {
        if (display_) ::setenv("DISPLAY", display_->c_str(), 1);
    }

    /// The owner of `name` on the session bus; empty when it has none.
    QString ownerOf(const char* name) { return session().interface()->serviceOwner(name).value(); }

    std::unique_ptr<TrayController> makeTray() {
        TrayFunctions functions;
        functions.present = [] { return StatusItemPresentation{}; };
        functions.labelShowsTime = [] { return true; };
        functions.tellNoTray = [this] { ++noTrayNotices_; };
        functions.showOnboarding = [this](const TrayHostPlace&) { ++onboardings_; };
        const QString address = buses.address(PrivateBuses::Bus::session);
        auto opener = [address](const QString& name) { return QDBusConnection::connectToBus(address, name); };
        return std::make_unique<TrayController>(std::move(functions), timer_, session(), opener, kIcons, log);
    }

    std::optional<std::string> display_;
    SimClock clock_;
    VirtualScheduler scheduler_{clock_};
    TimerManager timer_{clock_, scheduler_};
    int noTrayNotices_ = 0;
    int onboardings_ = 0;
};

TEST_F(TrayControllerTest, GivesWayToTheShellExtensionWhoseRemainingTimeStillFollowsTheMinutes) {
    std::optional<BusPeer> extension(std::in_place, buses, PrivateBuses::Bus::session, "shell-extension");
    ASSERT_TRUE(extension->connection()
                    .interface()
                    ->registerService(TrayController::kShellExtensionService)
                    .isValid());
    auto tray = makeTray();
    ASSERT_TRUE(tray->start());
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return tray->host() == TrayController::Host::shellExtension; }));
    EXPECT_TRUE(ownerOf(TrayController::kItemService).isEmpty()) << "no item is offered";
    // The extension shows RemainingText, which changes only when the countdown wakes.
    EXPECT_EQ(timer_.shownText(), TimerManager::ShownText::minutes);
    EXPECT_TRUE(tray->show()) << "a second launch finds Torvel shown";
    EXPECT_EQ(noTrayNotices_, 0);
    EXPECT_EQ(onboardings_, 0) << "the hint waits for an icon it can point at";

    // The shell ends: the icon is offered again (TrayEndToEndTest follows it to a watcher), and with
    // nobody showing the label the countdown no longer wakes for it.
    extension.reset();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !ownerOf(TrayController::kItemService).isEmpty(); }));
    EXPECT_EQ(tray->host(), TrayController::Host::none);
    EXPECT_EQ(timer_.shownText(), TimerManager::ShownText::nothing) << "nobody shows the label";
    tray.reset();
    EXPECT_EQ(timer_.shownText(), TimerManager::ShownText::nothing);
}

}  // namespace
}  // namespace torvel
