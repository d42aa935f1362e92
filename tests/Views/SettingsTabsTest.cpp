// The tabs' finer rules: what a running profile disables, how often sliders store, confirmations,
// the until note, the language switch, and that every control is named and nothing is cut off in Czech.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>

#include "Views/CustomDurationPanel.h"
#include "Views/SettingsWindow.h"
#include "Views/ViewsTestSupport.h"

namespace torvel {
namespace {

using SettingsTabsTest = WindowsTest;

TEST_F(SettingsTabsTest, ARunningProfileDecidesTheDisplaySwitches) {
    windows.showSettings("general");
    auto* displaySleep = named<QCheckBox>("settings.prevent_display_sleep");
    auto* screenSaver = named<QCheckBox>("settings.prevent_screensaver");
    ASSERT_TRUE(displaySleep && screenSaver);
    EXPECT_TRUE(displaySleep->isEnabled());
    h.state->activateProfile(h.state->profileLibrary().profiles().front());
    EXPECT_FALSE(displaySleep->isEnabled());
    EXPECT_FALSE(screenSaver->isEnabled());
    h.state->deactivateAll();
    EXPECT_TRUE(displaySleep->isEnabled());

    // The reminder's hours only while the reminder is on.
    auto* hours = named<QSpinBox>("settings.guardian_hours");
    ASSERT_TRUE(hours);
    named<QCheckBox>("settings.guardian_toggle")->click();
    EXPECT_FALSE(named<QSpinBox>("settings.guardian_hours"));
}

TEST_F(SettingsTabsTest, ADraggedSliderStoresOnceWhenLetGo) {
    windows.showSettings("battery");
    auto* limit = named<QSlider>("settings.battery_limit");
    ASSERT_TRUE(limit);
    const auto writes = h.defaults.writeCount();
    limit->setSliderDown(true);
    for (int value = 21; value <= 30; ++value) limit->setValue(value);
    EXPECT_EQ(h.defaults.writeCount(), writes) << "no file write per step of a drag";
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 20);
    limit->setSliderDown(false);
    Q_EMIT limit->sliderReleased();
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 30);
    EXPECT_EQ(h.defaults.writeCount(), writes + 1);
}

TEST_F(SettingsTabsTest, RemovingANetworkAsksFirstAndDuplicatingAddsACopy) {
    h.state->trustedNetworks().addTrustedSSID("Office");
    windows.showSettings("activation");
    named<QPushButton>("settings.trusted_networks.remove: Office")->click();
    ASSERT_TRUE(answerMessageBox(QMessageBox::RejectRole));
    EXPECT_TRUE(h.state->trustedNetworks().isTrustedSSID("Office"));
    named<QPushButton>("settings.trusted_networks.remove: Office")->click();
    ASSERT_TRUE(answerMessageBox(QMessageBox::DestructiveRole));
    EXPECT_FALSE(h.state->trustedNetworks().isTrustedSSID("Office"));

    windows.showSettings("profiles");
    named<QToolButton>("settings.duplicate_profile: default_profile.download")->click();
    settle();
    ASSERT_EQ(h.state->profileLibrary().profiles().size(), 5u);
    EXPECT_EQ(h.state->profileLibrary().profiles().back().duration,
              h.state->profileLibrary().profiles()[1].duration);
    EXPECT_FALSE(h.state->profileLibrary().profiles().back().localizationKey) << "a copy is a plain profile";
}

TEST_F(SettingsTabsTest, NetworkRowsFollowTheCurrentNetworkButNotEveryCountdownTick) {
    h.state->trustedNetworks().addTrustedSSID("Office");
    windows.showSettings("activation");
    h.state->trustedNetworks().handleWiFiStateChanged(true, std::string("Office"),
                                                      WiFiAuthorization::authorized);
    h.state->activate(Duration::preset(Duration::Kind::fifteenMinutes));
    settle();
    QPointer<QPushButton> remove = named<QPushButton>("settings.trusted_networks.remove: Office");
    ASSERT_TRUE(remove);
    bool connectedShown = false;
    for (auto* label : remove->parentWidget()->findChildren<QLabel*>())
        connectedShown |= label->text() == "settings.trusted_networks.connected_now";
    EXPECT_TRUE(connectedShown);
    remove->setFocus();
    h.timer.setShownText(TimerManager::ShownText::minutes);  // a tray title: a change every minute
    h.scheduler.advance(150.0);
    settle();
    EXPECT_TRUE(remove) << "the rows stay while only the countdown moves";
}

TEST_F(SettingsTabsTest, AnEarlierTimeInTheEveningSaysTomorrow) {
    h.clock.setNow(Date::fromUnixSeconds(1796680800.0));  // 2026-12-07 22:00 UTC
    auto* panel = windows.showCustomDurationPanel();
    auto* time = panel->findChild<QTimeEdit*>();
    ASSERT_TRUE(time);
    const auto tomorrowShown = [panel] {
        for (auto* label : panel->findChildren<QLabel*>())
            if (label->text() == "custom.until_tomorrow") return label->isVisibleTo(panel);
        return false;
    };
    EXPECT_FALSE(tomorrowShown()) << "one hour from 22:00 is 23:00, today";
    time->setTime(QTime(6, 0));
    EXPECT_TRUE(tomorrowShown());
    time->setTime(QTime(23, 30));
    EXPECT_FALSE(tomorrowShown());
    named<QPushButton>("custom.activate")->click();
    EXPECT_DOUBLE_EQ(h.timer.remainingSeconds(), 5400.0);
}

TEST_F(SettingsTabsTest, ChoosingALanguageStoresItAndRedrawsTheWindow) {
    auto* window = windows.showSettings("general");
    QPointer<QWidget> oldPage = window->page(SettingsTab::general);
    auto* language = named<QComboBox>("settings.language");
    ASSERT_TRUE(language);
    language->setCurrentIndex(2);
    Q_EMIT language->activated(2);
    settle();  // the choice is stored
    settle();  // the window is built again
    EXPECT_EQ(h.state->settings().language, AppLanguage::cs);
    EXPECT_FALSE(oldPage) << "rebuilt in the new language";
    EXPECT_EQ(window->currentTab(), SettingsTab::general);
}

TEST_F(SettingsTabsTest, EveryControlIsNamedAndNothingIsCutOffInCzech) {
    h.texts.setTable(shippedTable("cs"));
    auto* window = windows.showSettings("general");
    window->resize(window->minimumSize());
    for (const auto tab : kAllSettingsTabs) {
        window->showTab(tab);
        settle();
        auto* area = window->page(tab)->findChild<QScrollArea*>();
        ASSERT_TRUE(area);
        const int viewportWidth = area->viewport()->width();
        for (auto* w : area->widget()->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(window)) continue;
            const std::string where = std::string(rawValue(tab)) + ": " + w->metaObject()->className() +
                                      " \"" + w->accessibleName().toStdString() + "\"";
            // A spin box's own text field is named through the spin box.
            const bool inner = qobject_cast<QAbstractSpinBox*>(w->parentWidget()) != nullptr;
            if (w->focusPolicy() != Qt::NoFocus && !inner) {
                EXPECT_FALSE(w->accessibleName().isEmpty()) << where << " has no name";
            }
            const int right = w->mapTo(area->widget(), QPoint(w->width(), 0)).x();
            EXPECT_LE(right, viewportWidth) << where << " reaches past the window";
            auto* label = qobject_cast<QLabel*>(w);
            auto* button = qobject_cast<QAbstractButton*>(w);
            if ((label && !label->wordWrap()) || (button && !button->text().isEmpty())) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << where << " is cut off";
            }
        }
    }
}

}  // namespace
}  // namespace torvel
