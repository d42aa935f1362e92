#include "Views/SettingsGeneralTab.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QSpinBox>

#include "UI/SettingsRanges.h"
#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsToggle.h"
#include "Views/SettingsWidgets.h"

namespace torvel {

SettingsGeneralTab::SettingsGeneralTab(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(context) {
    auto& c = context_;
    QVBoxLayout* page = SettingsWidgets::scrolledPage(this);

    // General.
    auto* general = SettingsWidgets::section(page, c.text("settings.general"));
    addLaunchAtLoginRow(general);
    auto* languageRow = new QFormLayout;
    auto* language = new QComboBox;
    // The language names stay in their own language, so anyone can find theirs.
    language->addItems({c.text("language.system"), QStringLiteral("English"), QStringLiteral("Čeština")});
    language->setAccessibleName(c.text("settings.language"));
    languageRow->addRow(c.text("settings.language"), language);
    general->addLayout(languageRow);
    c.binder.language(language);

    // Display and screen saver: a running profile's assertion type decides them instead.
    auto* display = SettingsWidgets::section(page, c.text("settings.display_screensaver"));
    auto* displaySleep = new SettingsToggle(c.text("settings.prevent_display_sleep"));
    display->addWidget(displaySleep);
    SettingsWidgets::caption(display, c.text("settings.display_sleep_note"));
    auto* screenSaver = new SettingsToggle(c.text("settings.prevent_screensaver"));
    display->addWidget(screenSaver);
    SettingsWidgets::caption(display, c.text("settings.screensaver_note"));
    auto* overridden = SettingsWidgets::caption(display, c.text("settings.display_overridden_by_profile"));
    c.binder.toggle(displaySleep, &SettingsValues::preventDisplaySleep);
    c.binder.toggle(screenSaver, &SettingsValues::preventScreenSaver);
    const auto followProfile = [this, displaySleep, screenSaver, overridden] {
        const auto& model = context_.model;
        const auto active = model.activeProfileID();
        bool profileRuns = false;
        for (const auto& profile : model.profiles()) profileRuns |= profile.id == active;
        displaySleep->setEnabled(!profileRuns);
        screenSaver->setEnabled(!profileRuns);
        overridden->setVisible(profileRuns);
    };
    followProfile();
    activationConnection_ = c.model.activationChanged.connect(followProfile);

    // The tray icon's texts.
    auto* icon = SettingsWidgets::section(page, c.text("settings.display"));
    auto* remaining = new SettingsToggle(c.text("settings.show_remaining_time"));
    auto* estimate = new SettingsToggle(c.text("settings.show_battery_estimate"));
    icon->addWidget(remaining);
    icon->addWidget(estimate);
    c.binder.toggle(remaining, &SettingsValues::showRemainingTime);
    c.binder.toggle(estimate, &SettingsValues::showBatteryEstimate);

    // The reminder after long sessions; its hours only while it is on.
    auto* guardian = SettingsWidgets::section(page, c.text("settings.guardian"));
    auto* guardianOn = new SettingsToggle(c.text("settings.guardian_toggle"));
    guardian->addWidget(guardianOn);
    auto* hoursLabel = new QLabel;
    auto* hours = new QSpinBox;
    SettingsWidgets::limitToOfferedRange(hours, "guardianHours", IntegerRange{1, 24});
    QWidget* hoursRow = SettingsWidgets::labelledRow(guardian, hoursLabel, hours);
    c.binder.toggle(guardianOn, &SettingsValues::guardianEnabled);
    c.binder.spin(hours, &SettingsValues::guardianHours);
    c.binder.follow([this, hoursRow, hoursLabel, hours] {
        const auto& settings = context_.model.settings();
        const QString label =
            context_.format("settings.guardian_hours", {static_cast<long long>(settings.guardianHours)});
        AccessKeys::setText(hoursLabel, label);
        hours->setAccessibleName(label);
        hoursRow->setVisible(settings.guardianEnabled);
    });
    page->addStretch(1);
}

void SettingsGeneralTab::addLaunchAtLoginRow(QVBoxLayout* section) {
    WindowModel& model = context_.model;
    const auto enabled = model.startsAtLogin();
    if (!enabled) return;
    auto* toggle = new SettingsToggle(context_.text("settings.launch_at_login"));
    toggle->box()->setChecked(*enabled);
    connect(toggle->box(), &QCheckBox::toggled, toggle, [&model](bool wanted) { model.setStartsAtLogin(wanted); });
    // The switch shows what holds afterwards: a refused change (logged and told by Torvel) flips it back.
    loginItemConnection_ = model.loginItemChanged.connect([&model, box = QPointer<QCheckBox>(toggle->box())] {
        const auto holds = model.startsAtLogin();
        if (!box || !holds || box->isChecked() == *holds) return;
        const QSignalBlocker quiet(box);
        box->setChecked(*holds);
    });
    section->addWidget(toggle);
}

}  // namespace torvel
