#include "Views/SettingsBatteryTab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "UI/SettingsMappings.h"
#include "UI/SettingsRanges.h"
#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsToggle.h"
#include "Views/SettingsWidgets.h"

namespace torvel {

SettingsBatteryTab::SettingsBatteryTab(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(context) {
    auto& c = context_;
    QVBoxLayout* page = SettingsWidgets::scrolledPage(this);

    auto* battery = SettingsWidgets::section(page, c.text("settings.battery"));
    auto* limitOn = new SettingsToggle(c.text("settings.battery_auto_stop"));
    battery->addWidget(limitOn);
    c.binder.toggle(limitOn, &SettingsValues::batteryLimitEnabled);
    auto* limitLabel = new QLabel;
    auto* limit = new QSlider(Qt::Horizontal);
    SettingsWidgets::limitToOfferedRange(limit, "batteryLimitPercent", IntegerRange{11, 50});
    limit->setSingleStep(1);
    limit->setPageStep(5);
    SettingsWidgets::labelledRow(battery, limitLabel, limit, 1);
    c.binder.slider(
        limit, &SettingsValues::batteryLimitPercent, [this, limitLabel, limit](std::int64_t percent) {
            const QString text = context_.format("settings.battery_limit", {static_cast<long long>(percent)});
            AccessKeys::setText(limitLabel, text);
            limit->setAccessibleName(text);
        });

    auto* resume = new SettingsToggle(c.text("settings.resume_on_charger"));
    auto* predictive = new SettingsToggle(c.text("settings.predictive_warning"));
    battery->addWidget(resume);
    battery->addWidget(predictive);
    c.binder.toggle(resume, &SettingsValues::resumeOnCharger);
    c.binder.toggle(predictive, &SettingsValues::predictiveBatteryWarning);
    auto* minutesLabel = new QLabel;
    auto* minutes = new QSpinBox;
    SettingsWidgets::limitToOfferedRange(minutes, "predictiveBatteryMinutes", IntegerRange{5, 60});
    minutes->setSingleStep(static_cast<int>(SettingsMappings::kPredictiveMinutesStep));
    minutes->setStepType(QAbstractSpinBox::DefaultStepType);
    SettingsWidgets::labelledRow(battery, minutesLabel, minutes);
    c.binder.spin(minutes, &SettingsValues::predictiveBatteryMinutes);
    c.binder.follow([this, minutesLabel, minutes] {
        const auto& settings = context_.model.settings();
        const QString text = context_.format("settings.predictive_minutes",
                                             {static_cast<long long>(settings.predictiveBatteryMinutes)});
        AccessKeys::setText(minutesLabel, text);
        minutes->setAccessibleName(text);
    });
    SettingsWidgets::caption(battery, c.text("settings.battery_safety_note"));

    auto* emergency = SettingsWidgets::section(page, c.text("settings.emergency"));
    auto* emergencyOn = new SettingsToggle(c.text("settings.emergency_enabled"));
    emergency->addWidget(emergencyOn);
    c.binder.toggle(emergencyOn, &SettingsValues::emergencyPowerEnabled);
    auto* sleepLabel = new QLabel(c.text("settings.emergency_force_sleep"));
    auto* sleepAt = new QSpinBox;
    SettingsWidgets::limitToOfferedRange(sleepAt, "emergencyForceSleepPercent", IntegerRange{1, 10});
    // The unit as a percentage is written in this language ("%" or " %").
    sleepAt->setSuffix(
        QString::fromStdString(SettingsMappings::percentText(0, c.texts.languageCode())).mid(1));
    sleepAt->setAccessibleName(sleepLabel->text());
    SettingsWidgets::labelledRow(emergency, sleepLabel, sleepAt);
    c.binder.spin(sleepAt, &SettingsValues::emergencyForceSleepPercent);
    auto* terminate = new SettingsToggle(c.text("settings.emergency_terminate"));
    emergency->addWidget(terminate);
    c.binder.terminateBlockers(terminate);
    auto* alarm = new SettingsToggle(c.text("settings.emergency_alarm"));
    emergency->addWidget(alarm);
    c.binder.toggle(alarm, &SettingsValues::emergencyAlarmEnabled);
    SettingsWidgets::caption(emergency, c.text("settings.emergency_alarm_note"));
    SettingsWidgets::caption(emergency, c.text("settings.emergency_note"));
    addEmergencyConsentRow(emergency);
    page->addStretch(1);
}

void SettingsBatteryTab::addEmergencyConsentRow(QVBoxLayout* section) {
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* text = new QLabel;
    text->setWordWrap(true);
    auto* fix = new QPushButton;
    line->addWidget(text, 1);
    line->addWidget(fix);
    section->addWidget(row);
    connect(fix, &QPushButton::clicked, this, [this] { context_.model.resolveAutomationConsent(); });
    const auto show = [this, row, text, fix] {
        const auto& model = context_.model;
        const auto consent = model.automationConsent();
        row->setVisible(model.settings().emergencyPowerEnabled && consent != AutomationConsent::granted);
        const bool denied = consent == AutomationConsent::denied;
        text->setText(context_.text(denied ? "settings.emergency_consent.denied"
                                           : "settings.emergency_consent.not_asked"));
        const QString action = context_.text(denied ? "settings.emergency_consent.open_settings"
                                                    : "settings.emergency_consent.ask");
        AccessKeys::setText(fix, action);
        fix->setAccessibleName(text->text() + QStringLiteral(" ") + action);
        // Installing the rule is what fixes it: one installation at a time.
        fix->setEnabled(!model.isStayguardInstallInProgress());
    };
    show();
    emergencyConnection_ = context_.model.emergencyChanged.connect(show);
    settingConnection_ = context_.model.settingChanged.connect([show](std::string_view) { show(); });
    stayguardConnection_ = context_.model.stayguardChanged.connect(show);
}

}  // namespace torvel
