// The tabs' finer rules: what a running profile disables, how often sliders store, what the network
// rows follow, and that every control is named and nothing is cut off in Czech.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>

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

TEST_F(SettingsTabsTest, NetworkRowsFollowTheCurrentNetworkButNotEveryCountdownTick) {
    h.texts.setTable({{"settings.trusted_networks.status_current_untrusted", "On %@"},
                      {"settings.trusted_networks.status_wifi_off", "Wi-Fi off"}});
    h.state->trustedNetworks().addTrustedSSID("Office");
    h.state->trustedNetworks().handleWiFiStateChanged(false, std::nullopt, WiFiAuthorization::authorized);
    int reads = 0;
    h.state->trustedNetworks().setWiFiStateRefresher([&] {
        ++reads;
        h.state->trustedNetworks().handleWiFiStateChanged(true, std::string("Cafe"),
                                                          WiFiAuthorization::authorized);
    });
    windows.showSettings("activation");
    EXPECT_EQ(labelsWith("Wi-Fi off").size(), 1u);
    named<QPushButton>("settings.trusted_networks.refresh_status")->click();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(labelsWith("On Cafe").size(), 1u) << "the refreshed reading is shown";
    EXPECT_TRUE(named<QPushButton>("settings.trusted_networks.add_current")->isEnabled());

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
