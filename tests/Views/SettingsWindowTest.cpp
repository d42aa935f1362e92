// The settings window and its sheets, offscreen: a control changes the stored setting and what the
// state decides; refusals are shown; the sheets keep their rules.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "Views/CustomDurationPanel.h"
#include "Views/OnboardingPopup.h"
#include "Views/SettingsActivationTab.h"
#include "Views/SettingsNetworkSheet.h"
#include "Views/SettingsProfileEditor.h"
#include "Views/SettingsProfilesTab.h"
#include "Views/SettingsWindow.h"
#include "Views/ViewsTestSupport.h"

namespace torvel {
namespace {

using SettingsWindowTest = WindowsTest;

TEST_F(SettingsWindowTest, SwitchesChangeTheStoreAndTheDecision) {
    h.onBattery(15);
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    ASSERT_FALSE(h.state->isActive()) << "below the 20 % limit";
    windows.showSettings("battery");
    auto* limit = named<QCheckBox>("settings.battery_auto_stop");
    ASSERT_TRUE(limit);
    EXPECT_TRUE(limit->isChecked());
    limit->click();
    EXPECT_FALSE(h.state->settings().batteryLimitEnabled);
    EXPECT_FALSE(h.defaults.boolValue("batteryLimitEnabled"));
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    EXPECT_TRUE(h.state->isActive()) << "no limit any more";

    auto* terminate = named<QCheckBox>("settings.emergency_terminate");
    ASSERT_TRUE(terminate);
    terminate->click();
    EXPECT_EQ(h.state->settings().emergencyTerminateBlockersPercent, 3);
    terminate->click();
    EXPECT_EQ(h.state->settings().emergencyTerminateBlockersPercent, 0);

    // A change made elsewhere (the command line) shows at once.
    h.state->set(&SettingsValues::batteryLimitEnabled, true);
    EXPECT_TRUE(limit->isChecked());
}

TEST_F(SettingsWindowTest, ARefusedWriteIsShownAndTheControlGoesBack) {
    auto* window = windows.showSettings("audio");
    h.defaults.failWrites("No space left on device");
    auto* heartbeat = named<QCheckBox>("settings.audio.heartbeat_enabled");
    auto* volume = named<QSlider>("a11y.heartbeat_volume");
    ASSERT_TRUE(heartbeat && volume);
    heartbeat->click();
    EXPECT_TRUE(heartbeat->isChecked()) << "back to the stored value";
    EXPECT_TRUE(h.state->settings().heartbeatPipEnabled);
    volume->setValue(10);
    EXPECT_EQ(volume->value(), 40);
    auto* banner = window->findChild<QLabel*>("refusalBanner");
    ASSERT_TRUE(banner);
    EXPECT_TRUE(banner->isVisibleTo(window));
    EXPECT_TRUE(banner->text().contains("No space left on device")) << banner->text().toStdString();

    h.defaults.failWrites(std::nullopt);
    volume->setValue(10);
    EXPECT_FLOAT_EQ(h.state->settings().heartbeatPipVolume, 0.1f);
    EXPECT_FALSE(banner->isVisibleTo(window)) << "a later write went through";
}

// Which names the editor takes is the form's rule (tests/UI); here the window follows it.
TEST_F(SettingsWindowTest, ProfilesAreSavedDuplicatedAndDeletedOnlyOnceConfirmed) {
    h.texts.setTable({{"settings.delete_profile_message", "Delete %@?"}});
    auto* window = windows.showSettings("profiles");
    static_cast<SettingsProfilesTab*>(window->page(SettingsTab::profiles))->openEditor(nullptr);
    ASSERT_TRUE(openWindow<SettingsProfileEditor>());
    auto* name = named<QLineEdit>("profile.name");
    auto* save = named<QPushButton>("profile.save");
    ASSERT_TRUE(name && save);
    name->setText("default_profile.ai");  // the AI profile's shown name here
    EXPECT_FALSE(save->isEnabled()) << "another profile's name";
    name->setText(" Night build ");
    save->click();
    settle();
    const auto& profiles = [this] { return h.state->profileLibrary().profiles(); };
    ASSERT_EQ(profiles().size(), 5u);
    EXPECT_EQ(profiles().back().name, "Night build");
    EXPECT_FALSE(openWindow<SettingsProfileEditor>()) << "saving closes the sheet";

    ASSERT_TRUE(named<QToolButton>("settings.delete_profile: Night build")) << "the new row is there";
    named<QToolButton>("settings.delete_profile: Night build")->click();
    ASSERT_TRUE(openWindow<QMessageBox>());
    EXPECT_EQ(openWindow<QMessageBox>()->text(), "Delete Night build?");
    ASSERT_TRUE(answerMessageBox(QMessageBox::RejectRole));
    EXPECT_EQ(profiles().size(), 5u) << "cancelling keeps it";
    named<QToolButton>("settings.delete_profile: Night build")->click();
    ASSERT_TRUE(answerMessageBox(QMessageBox::DestructiveRole));
    EXPECT_EQ(profiles().size(), 4u);

    named<QToolButton>("settings.duplicate_profile: default_profile.download")->click();
    settle();
    ASSERT_EQ(profiles().size(), 5u);
    EXPECT_EQ(profiles().back().duration, profiles()[1].duration);
    EXPECT_FALSE(profiles().back().localizationKey) << "a copy is a plain profile";
}

// The form's rules are tested without widgets (tests/UI); here what the panel does with them.
TEST_F(SettingsWindowTest, CustomDurationPanelStartsOnlyValidSessionsAndCloses) {
    h.clock.setNow(Date::fromUnixSeconds(1796680800.0));  // 2026-12-07 22:00 UTC
    QPointer<CustomDurationPanel> panel = windows.showCustomDurationPanel();
    QApplication::setActiveWindow(panel);
    ASSERT_TRUE(panel->focusWidget());
    QTest::keyClick(panel->focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(h.state->isActive()) << "Enter starts the session an hour long";
    EXPECT_NEAR(h.timer.remainingSeconds(), 3600.0, 60.0);
    EXPECT_FALSE(panel) << "activating closes it";

    panel = windows.showCustomDurationPanel();
    auto* time = panel->findChild<QTimeEdit*>();
    ASSERT_TRUE(time);
    const auto tomorrowShown = [] { return !labelsWith("custom.until_tomorrow").empty(); };
    EXPECT_FALSE(tomorrowShown()) << "one hour from 22:00 is 23:00, today";
    time->setTime(QTime(6, 0));
    EXPECT_TRUE(tomorrowShown());
    time->setTime(QTime(23, 30));
    EXPECT_FALSE(tomorrowShown());
    named<QPushButton>("custom.activate")->click();
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 5400.0);
    settle();

    panel = windows.showCustomDurationPanel();
    for (auto* radio : panel->findChildren<QRadioButton*>())
        if (radio->accessibleName() == "custom.mode_duration") radio->click();
    auto* minutes = named<QLineEdit>("custom.minutes_field");
    auto* activate = named<QPushButton>("custom.activate");
    ASSERT_TRUE(minutes && activate);
    minutes->setText("5m");
    EXPECT_FALSE(activate->isEnabled());
    minutes->setText("1.5");
    activate->click();
    settle();
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 90.0);

    panel = windows.showCustomDurationPanel();
    h.texts.languageChanged.emit();
    settle();
    EXPECT_FALSE(panel) << "a language change closes it";
}

TEST_F(SettingsWindowTest, NetworksAreAddedTrimmedAndRemovedOnlyOnceConfirmed) {
    auto* window = windows.showSettings("activation");
    auto* tab = static_cast<SettingsActivationTab*>(window->page(SettingsTab::activation));
    // Which names are refused is the form's rule (tests/UI); the sheet shows the refusal and stays.
    h.state->trustedNetworks().addTrustedSSID("Office");
    tab->openNetworkSheet();
    named<QLineEdit>("settings.trusted_networks.manual_sheet_placeholder")->setText("Office");
    named<QPushButton>("settings.trusted_networks.manual_sheet_add")->click();
    settle();
    auto* sheet = openWindow<SettingsNetworkSheet>();
    ASSERT_TRUE(sheet) << "stays open";
    auto* error = sheet->findChild<QLabel*>("sheetError");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->isVisibleTo(sheet));
    EXPECT_EQ(error->text(), "settings.trusted_networks.manual_sheet_duplicate");
    named<QPushButton>("settings.trusted_networks.manual_sheet_cancel")->click();
    settle();
    EXPECT_EQ(h.state->settings().trustedNetworks.size(), 1u);
    tab->openNetworkSheet();
    named<QLineEdit>("settings.trusted_networks.manual_sheet_placeholder")->setText(" Home ");
    named<QPushButton>("settings.trusted_networks.manual_sheet_add")->click();
    settle();
    EXPECT_FALSE(named<QPushButton>("settings.trusted_networks.manual_sheet_add")) << "closed";
    EXPECT_TRUE(h.state->trustedNetworks().isTrustedSSID("Home"));
    ASSERT_TRUE(named<QPushButton>("settings.trusted_networks.remove: Home")) << "the list follows";

    named<QPushButton>("settings.trusted_networks.remove: Home")->click();
    ASSERT_TRUE(answerMessageBox(QMessageBox::RejectRole));
    EXPECT_TRUE(h.state->trustedNetworks().isTrustedSSID("Home"));
    named<QPushButton>("settings.trusted_networks.remove: Home")->click();
    ASSERT_TRUE(answerMessageBox(QMessageBox::DestructiveRole));
    EXPECT_FALSE(h.state->trustedNetworks().isTrustedSSID("Home"));
}

TEST_F(SettingsWindowTest, WatchedApplicationsFollowLaunchesAndTheAddMenuListsWhatRuns) {
    std::vector<RunningAppInfo> running = {{"org.gnome.Builder", "Builder", 10}};
    h.state->processTrigger().setHooks({{}, {}, {}, [&running] { return running; }});
    windows.showSettings("activation");
    auto* add = named<QToolButton>("settings.process_trigger.add_app");
    ASSERT_TRUE(add && add->menu());
    Q_EMIT add->menu()->aboutToShow();
    ASSERT_EQ(add->menu()->actions().size(), 1);
    add->menu()->actions().front()->trigger();
    settle();
    ASSERT_EQ(h.state->processTrigger().watchedApps().size(), 1u);
    EXPECT_EQ(h.state->processTrigger().watchedApps()[0].desktopId, "org.gnome.Builder");
    EXPECT_EQ(labelsWith("settings.process_trigger.status_running").size(), 1u);
    running.clear();
    h.state->processTrigger().runningAppsChanged.emit();
    settle();
    EXPECT_TRUE(labelsWith("settings.process_trigger.status_running").empty()) << "the exit shows while the window is open";
    Q_EMIT add->menu()->aboutToShow();
    EXPECT_FALSE(add->menu()->actions().front()->isEnabled()) << "nothing else runs";
}

TEST_F(SettingsWindowTest, WindowsOpenOnTheAskedTabFollowTheLanguageAndOnboardingOnce) {
    QPointer<SettingsWindow> window = windows.showSettings("battery");
    EXPECT_EQ(window->currentTab(), SettingsTab::battery);
    EXPECT_EQ(windows.showSettings("no-such-tab"), window.data()) << "the open window comes forward";
    EXPECT_EQ(window->currentTab(), SettingsTab::general);
    h.texts.setTable({{"settings.window_title", "Nastavení Torvelu"}, {"settings.tab.general", "Obecné"}});
    h.texts.languageChanged.emit();
    settle();
    EXPECT_EQ(window->windowTitle(), "Nastavení Torvelu");
    EXPECT_EQ(window->currentTab(), SettingsTab::general);

    // Choosing a language stores it and builds the window again in it.
    QPointer<QWidget> oldPage = window->page(SettingsTab::general);
    auto* language = named<QComboBox>("settings.language");
    ASSERT_TRUE(language);
    language->setCurrentIndex(2);
    Q_EMIT language->activated(2);
    settle();  // the choice is stored
    settle();  // the window is built again
    EXPECT_EQ(h.state->settings().language, AppLanguage::cs);
    EXPECT_FALSE(oldPage);
    EXPECT_EQ(window->currentTab(), SettingsTab::general);
    window->close();
    settle();
    EXPECT_FALSE(window) << "closing frees it";

    QPointer<OnboardingPopup> popup = windows.showOnboarding(QPoint(100, 0));
    ASSERT_TRUE(popup);
    popup->dismiss();
    settle();
    EXPECT_TRUE(h.state->settings().hasSeenOnboarding);
    EXPECT_TRUE(h.defaults.boolValue("hasSeenOnboarding"));
    EXPECT_FALSE(popup);
    EXPECT_FALSE(windows.showOnboarding());
}

}  // namespace
}  // namespace torvel
