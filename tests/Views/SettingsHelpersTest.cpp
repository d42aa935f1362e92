// The settings rows that go through services beside the state: starting at login and the helper.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "Platform/Sim/SimLoginItem.h"
#include "Platform/Sim/SimLowPowerMode.h"
#include "Platform/Sim/SimStayguardHelper.h"
#include "Services/LoginItemService.h"
#include "Services/LowPowerModeController.h"
#include "Services/StayguardService.h"
#include "State/AppStateHarness.h"
#include "Views/SettingsWindow.h"
#include "Views/ViewsTestSupport.h"

namespace torvel {
namespace {

struct SettingsHelpersTest : ::testing::Test {
    AppStateHarness h;
    SimStayguardHelper power{h.scheduler};
    SimLowPowerMode saver{h.scheduler};
    StayguardService stayguard{power, h.log};
    LowPowerModeController lpm{stayguard, saver, h.notifications, h.texts, h.clock, h.log};
    SimLoginItem item;
    LoginItemService loginItems{item, h.notifications, h.texts, h.log};
    std::unique_ptr<StateWindowModel> model;
    std::unique_ptr<Windows> windows;

    void SetUp() override {
        h.state = std::make_unique<AppState>(
            AppStateServices{h.clock, h.scheduler, h.log, h.texts, h.defaults, h.sleepPrevention, h.timer,
                             h.notifications, h.sessions, h.guardian, nullptr, &stayguard, &lpm},
            Calendar::utc());
        model = std::make_unique<StateWindowModel>(*h.state, &loginItems);
        windows = std::make_unique<Windows>(*model, h.texts, h.calendar_, h.clock);
    }
    ~SettingsHelpersTest() override { closeAllWindows(); }
};

TEST_F(SettingsHelpersTest, LoginSwitchShowsWhatHoldsAfterARefusal) {
    windows->showSettings("general");
    auto* toggle = named<QCheckBox>("settings.launch_at_login");
    ASSERT_TRUE(toggle);
    EXPECT_FALSE(toggle->isChecked());
    toggle->click();
    EXPECT_TRUE(item.isEnabled());
    item.failNextChange("read-only autostart folder");
    toggle->click();
    EXPECT_TRUE(item.isEnabled());
    EXPECT_TRUE(toggle->isChecked()) << "the switch went back to what holds";
}

TEST_F(SettingsHelpersTest, HelperSectionFollowsTheInstallation) {
    windows->showSettings("activation");
    auto* install = named<QPushButton>("settings.trusted_networks.stayguard_install");
    ASSERT_TRUE(install);
    ASSERT_TRUE(install->isEnabled());
    install->click();
    EXPECT_EQ(install->accessibleName(), "settings.trusted_networks.stayguard_installing");
    EXPECT_FALSE(install->isEnabled()) << "one installation at a time";
    h.scheduler.runPending();  // the rule lands, then polkit is asked again
    h.scheduler.runPending();
    settle();
    EXPECT_EQ(power.installCount(), 1);
    EXPECT_TRUE(h.state->lidLock().isInstalled());
    EXPECT_FALSE(install->isEnabled()) << "nothing left to install";
    EXPECT_EQ(labelsWith("settings.trusted_networks.stayguard_install_success").size(), 1u);
}

TEST_F(SettingsHelpersTest, HelperSectionSaysWhoElseDecidesTheLidAndWhatIsNotHere) {
    h.texts.setTable(
        {{"settings.trusted_networks.stayguard_lid_other_holder",
          "%1$@ (process %2$@) decides; set “do nothing” in %3$@'s power settings."},
         {"settings.trusted_networks.stayguard_grant_power_saver_unavailable", "No power saver here"}});
    power.setGrants(PowerGrants{true, false, true, true});
    stayguard.refreshInstallationStatus();
    power.setLidHolders(std::vector<LidHolder>{{"xfce4-power-manager", 812, "Xfce"}});
    QWidget* window = windows->showSettings("activation");
    ASSERT_TRUE(window);
    h.scheduler.runPending();  // the permissions and the lid holders, read as the section opens
    settle();
    auto* holders = window->findChild<QLabel*>("settings.trusted_networks.stayguard_lid_other_holder");
    ASSERT_TRUE(holders);
    EXPECT_TRUE(holders->isVisibleTo(window));
    EXPECT_EQ(holders->text().toStdString(),
              "xfce4-power-manager (process 812) decides; set “do nothing” in Xfce's power settings.");
    EXPECT_EQ(labelsWith(QStringLiteral("– No power saver here")).size(), 1u);
}

}  // namespace
}  // namespace torvel
