#include <gtest/gtest.h>

#include <algorithm>

#include "Platform/Sim/SimLowPowerMode.h"
#include "Platform/Sim/SimSounds.h"
#include "Platform/Sim/SimStayguardHelper.h"
#include "Services/AudioFeedbackService.h"
#include "Services/LowPowerModeController.h"
#include "Services/StayguardService.h"
#include "State/AppStateHarness.h"
#include "UI/StayguardResultText.h"

namespace torvel {
namespace {

using Requests = std::vector<std::string>;

// The application state with the helper and the power saver on the simulated machine.
struct Stayguard : ::testing::Test {
    AppStateHarness h;
    SimStayguardHelper power{h.scheduler};
    SimLowPowerMode saver{h.scheduler};
    SimSounds sounds{h.scheduler};
    AudioFeedbackService audio{sounds, h.log};
    StayguardService stayguard{power, h.log};
    LowPowerModeController lpm{stayguard, saver, h.notifications, h.texts, h.clock, h.log};
    Connection installation;

    void SetUp() override {
        h.state = std::make_unique<AppState>(
            AppStateServices{h.clock, h.scheduler, h.log, h.texts, h.defaults, h.sleepPrevention, h.timer,
                             h.notifications, h.sessions, h.guardian, &audio, &stayguard, &lpm},
            Calendar::utc());
        installation =
            stayguard.installationChanged.connect([this] { h.state->lidLock().handleInstallationChanged(); });
        h.state->set(&SettingsValues::trustedNetworkActivationEnabled, true);
        h.state->set(&SettingsValues::autoEnableLowPowerModeOnLidClose, true);
        h.state->trustedNetworks().addTrustedSSID("Home");
    }
    void grant(bool all) {
        power.setGrants(PowerGrants{all, all, all});
        stayguard.refreshInstallationStatus();
        h.scheduler.runPending();
    }
    void wifi(std::optional<std::string> ssid) {
        h.state->updateMonitorValues([&](MonitorValues& m) {
            m.isWiFiConnected = ssid.has_value();
            m.currentSSID = ssid;
        });
        h.scheduler.runPending();
    }
    void lid(bool closed) {
        h.state->handleLidStateChanged(closed);
        h.scheduler.runPending();
    }
};

TEST_F(Stayguard, TheLidLockFollowsTheTrustedReasonOncePerChangeAndRetriesAfterAFailure) {
    wifi("Home");
    EXPECT_EQ(power.requests(), Requests{}) << "not installed: nothing is asked for";

    grant(true);  // the installation arriving re-evaluates
    EXPECT_EQ(power.requests(), Requests{"lid 1"});
    EXPECT_EQ(stayguard.lidLockHeld(), true);

    // The same outcome again, and again before an answer lands: nothing more is asked for.
    h.state->reevaluateState();
    h.state->reevaluateState();
    h.scheduler.runPending();
    EXPECT_EQ(power.requests(), Requests{"lid 1"});

    power.failNextLidLock();
    wifi(std::nullopt);
    EXPECT_EQ(power.lidLockHeld(), false);
    EXPECT_EQ(stayguard.lidLockHeld(), false);
    wifi("Home");  // fails: nothing recorded
    EXPECT_EQ(stayguard.lidLockHeld(), false);
    h.state->reevaluateState();  // so the next re-evaluation asks again
    h.scheduler.runPending();
    EXPECT_EQ(power.requests(), (Requests{"lid 1", "lid 0", "lid 1", "lid 1"}));
    EXPECT_TRUE(power.lidLockHeld());

    // Wanted off, then on again, while "off" is on its way: the lock ends as last wanted.
    h.state->set(&SettingsValues::preferStayguardClamshellDefeat, false);
    h.state->set(&SettingsValues::preferStayguardClamshellDefeat, true);
    h.scheduler.runPending();
    EXPECT_TRUE(power.lidLockHeld());
    EXPECT_EQ(power.requests().back(), "lid 1");

    // A manual session alone never takes it; quitting drops it.
    wifi(std::nullopt);
    h.state->activate(Duration::indefinite());
    h.scheduler.runPending();
    EXPECT_FALSE(power.lidLockHeld());
    wifi("Home");
    ASSERT_TRUE(power.lidLockHeld());
    grant(false);  // the permission went: the lock held is let go all the same
    EXPECT_FALSE(power.lidLockHeld());
    grant(true);
    ASSERT_TRUE(power.lidLockHeld());
    h.state->handleAppTerminate();
    h.scheduler.runPending();
    EXPECT_FALSE(power.lidLockHeld());
}

TEST_F(Stayguard, PowerSaverOnLidCloseIsUndoneOnlyWhenOurs) {
    grant(true);
    wifi("Home");
    lid(true);
    EXPECT_TRUE(power.powerSaverHeld());
    EXPECT_TRUE(lpm.enabledByUs());
    lid(false);
    EXPECT_FALSE(power.powerSaverHeld());
    EXPECT_FALSE(lpm.enabledByUs());

    // Already on by the user: left alone, and the open restores nothing.
    saver.setEnabled(true);
    const auto asked = power.requests().size();
    lid(true);
    lid(false);
    EXPECT_EQ(power.requests().size(), asked);
    EXPECT_TRUE(h.log.contains("LowPowerMode", "LPM lid-close: skip (already on, not ours)"));
    saver.setEnabled(false);

    // A failed switch-on leaves nothing to restore.
    power.failNextPowerSaver();
    lid(true);
    EXPECT_FALSE(lpm.enabledByUs());
    lid(false);

    // The lid opens before the switch-on lands: it is undone when it does.
    h.state->handleLidStateChanged(true);
    h.state->handleLidStateChanged(false);
    h.scheduler.runPending();
    h.scheduler.runPending();
    EXPECT_FALSE(power.powerSaverHeld());
    EXPECT_FALSE(lpm.enabledByUs());

    // Quitting with the lid closed switches it off; a close without the trusted reason does nothing.
    lid(true);
    h.state->handleAppTerminate();
    h.scheduler.runPending();
    EXPECT_FALSE(power.powerSaverHeld());
    lid(false);
    wifi("Elsewhere");
    const auto before = power.requests().size();
    lid(true);
    EXPECT_EQ(power.requests().size(), before);
}

TEST_F(Stayguard, EachPermissionStandsAloneAndAHoldTheSystemDropsIsAskedForAgain) {
    // No power-profiles-daemon, no suspend: the lid lock needs only its own grant, and a power saver
    // that does not exist is neither held nor suggested.
    power.setGrants(PowerGrants{true, false, false, true});
    stayguard.refreshInstallationStatus();
    wifi("Home");
    lid(true);
    EXPECT_EQ(power.requests(), Requests{"lid 1"});
    EXPECT_TRUE(h.log.contains("LowPowerMode", "LPM lid-close: skip (no power saver on this system)"));
    EXPECT_TRUE(h.notificationIDs().empty());
    lid(false);

    // The user picks another profile while the lid is closed: the hold is gone, not ours to undo.
    grant(true);
    wifi("Home");
    lid(true);
    ASSERT_TRUE(power.powerSaverHeld());
    power.dropPowerSaver();
    h.scheduler.runPending();
    EXPECT_FALSE(lpm.enabledByUs());
    EXPECT_EQ(stayguard.lastLowPowerMode(), false);
    lid(false);
    EXPECT_EQ(std::count(power.requests().begin(), power.requests().end(), "saver 0"), 0);
    wifi("Home");
    lid(true);
    EXPECT_EQ(power.requests().back(), "saver 1") << "the next close asks again";
    EXPECT_TRUE(power.powerSaverHeld());
}

TEST_F(Stayguard, TheLidCloseSoundConfirmsOnlyWhatTorvelDecides) {
    grant(true);
    wifi("Home");
    ASSERT_TRUE(h.state->isActive());
    power.setLidHolders(std::vector<LidHolder>{{"PowerDevil", 4242, "KDE Plasma"}});
    lid(true);
    EXPECT_TRUE(sounds.played().empty());
    EXPECT_TRUE(
        h.log.contains("AppState", "no lid-close sound — PowerDevil (pid 4242) holds the lid switch"));
    EXPECT_EQ(h.state->lidLock().otherLidHolders()->front().desktop, "KDE Plasma");

    // The desktop let go of the lid: the close is Torvel's to confirm again.
    lid(false);
    power.setLidHolders(std::vector<LidHolder>{});
    lid(true);
    EXPECT_EQ(sounds.played().size(), 1u);
    EXPECT_EQ(power.lidHolderReads(), 3) << "read when the lock was taken and at each close, never polled";
}

TEST_F(Stayguard, WithoutTheHelperTheSuggestionComesAtMostEveryHalfHour) {
    wifi("Home");
    auto suggestions = [&] {
        const auto ids = h.notificationIDs();
        return std::count(ids.begin(), ids.end(), "lpm-suggestion");
    };
    for (int i = 0; i < 3; ++i) {
        lid(true);
        lid(false);
        wifi("Home");  // the open ended the latch; the network is still there
        h.scheduler.advance(600);
    }
    EXPECT_EQ(suggestions(), 1);
    h.scheduler.advance(1800 - 3 * 600);
    lid(true);
    EXPECT_EQ(suggestions(), 2);
    EXPECT_EQ(power.requests(), Requests{});
}

TEST_F(Stayguard, InstallingRunsOnceAtATimeAndKeepsOnlyARuleThatWorks) {
    h.state->lidLock().install();
    h.state->lidLock().install();  // ignored while the first runs
    EXPECT_TRUE(h.state->lidLock().isInstallInProgress());
    h.scheduler.runPending();
    EXPECT_EQ(power.installCount(), 1);
    EXPECT_FALSE(h.state->lidLock().isInstallInProgress());
    EXPECT_EQ(h.state->lidLock().lastInstallResult(),
              (StayguardInstallResult{StayguardInstallResult::Kind::success, {}}));
    EXPECT_TRUE(h.state->lidLock().isInstalled());
    EXPECT_EQ(h.notificationIDs().back(), "stayguard-installed");

    // Written, but the system still asks for a password: taken away again.
    grant(false);
    power.enqueueInstall({RuleChange::Status::done, {}});
    h.state->lidLock().install();
    h.scheduler.runPending();
    EXPECT_EQ(h.state->lidLock().lastInstallResult()->kind, StayguardInstallResult::Kind::validationFailed);
    EXPECT_EQ(power.removeCount(), 1);
    EXPECT_FALSE(h.state->lidLock().isInstalled());

    const std::pair<RuleChange, StayguardInstallResult::Kind> ends[] = {
        {{RuleChange::Status::cancelled, {}}, StayguardInstallResult::Kind::userCancelled},
        {{RuleChange::Status::failed, "not authorised"}, StayguardInstallResult::Kind::installFailed},
    };
    for (const auto& [change, kind] : ends) {
        power.enqueueInstall(change);
        h.state->lidLock().install();
        h.scheduler.runPending();
        EXPECT_EQ(h.state->lidLock().lastInstallResult(), (StayguardInstallResult{kind, change.message}));
    }
    EXPECT_EQ(power.removeCount(), 1);

    h.texts.setTable({{"settings.trusted_networks.stayguard_install_failed", "Failed: %@"},
                      {"settings.trusted_networks.stayguard_install_success", "Installed"}});
    const auto failed = stayguardResultText(h.state->lidLock().lastInstallResult(), h.texts);
    EXPECT_EQ(failed.text, "Failed: not authorised");
    EXPECT_EQ(failed.colour, StayguardResultText::Colour::orange);
    EXPECT_EQ(stayguardResultText(StayguardInstallResult{}, h.texts).colour,
              StayguardResultText::Colour::green);
    EXPECT_EQ(stayguardResultText(std::nullopt, h.texts).text, "");
}

}  // namespace
}  // namespace torvel
