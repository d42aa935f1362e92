#include "Views/CustomDurationPanel.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/WindowKeys.h"

namespace torvel {

CustomDurationPanel::CustomDurationPanel(WindowModel& model, Localization& texts, const Calendar& calendar,
                                         const Clock& clock, QWidget* parent)
    : QDialog(parent), model_(model), texts_(texts), calendar_(calendar), clock_(clock) {
    const auto t = [this](std::string_view key) { return QString::fromStdString(texts_.text(key)); };
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(t("custom.window_title"));
    setMinimumWidth(340);
    form_.targetTime = clock_.now().addingSeconds(3600.0);

    auto* layout = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    durationMode_ = new QRadioButton(t("custom.mode_duration"));
    untilMode_ = new QRadioButton(t("custom.mode_until"));
    durationMode_->setAccessibleName(durationMode_->text());
    untilMode_->setAccessibleName(untilMode_->text());
    auto* group = new QButtonGroup(this);
    group->addButton(durationMode_);
    group->addButton(untilMode_);
    modes->addWidget(durationMode_);
    modes->addWidget(untilMode_);
    modes->addStretch(1);
    layout->addLayout(modes);

    pages_ = new QStackedWidget;
    auto* durationPage = new QWidget;
    auto* durationRow = new QHBoxLayout(durationPage);
    durationRow->setContentsMargins(0, 0, 0, 0);
    minutes_ = new QLineEdit(QString::fromStdString(form_.minutesText));
    minutes_->setMinimumWidth(80);
    minutes_->setMaximumWidth(120);
    minutes_->setAccessibleName(t("custom.minutes_field"));
    minutes_->setPlaceholderText(t("custom.minutes_field"));
    auto* minutesLabel = new QLabel(t("custom.minutes_label"));
    minutesLabel->setBuddy(minutes_);
    durationRow->addWidget(minutes_);
    durationRow->addWidget(minutesLabel, 1);
    pages_->addWidget(durationPage);

    auto* untilPage = new QWidget;
    auto* untilLayout = new QVBoxLayout(untilPage);
    untilLayout->setContentsMargins(0, 0, 0, 0);
    auto* untilRow = new QHBoxLayout;
    auto* untilLabel = new QLabel(t("custom.until_label"));
    const auto start = calendar_.localTime(form_.targetTime);
    time_ = new QTimeEdit(QTime(start.hour, start.minute));
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    time_->setAccessibleName(t("custom.until_label"));
    untilLabel->setBuddy(time_);
    untilRow->addWidget(untilLabel);
    untilRow->addWidget(time_);
    untilRow->addStretch(1);
    untilLayout->addLayout(untilRow);
    tomorrow_ = new QLabel(t("custom.until_tomorrow"));
    tomorrow_->setWordWrap(true);
    untilLayout->addWidget(tomorrow_);
    pages_->addWidget(untilPage);
    layout->addWidget(pages_);

    auto* buttons = new QDialogButtonBox;
    auto* cancel = buttons->addButton(t("custom.cancel"), QDialogButtonBox::RejectRole);
    activate_ = buttons->addButton(t("custom.activate"), QDialogButtonBox::AcceptRole);
    // Enter starts the session from anywhere in the panel; Cancel takes Enter only once Tab reaches it.
    cancel->setAutoDefault(false);
    activate_->setDefault(true);
    cancel->setAccessibleName(cancel->text());
    activate_->setAccessibleName(activate_->text());
    layout->addWidget(buttons);

    connect(durationMode_, &QRadioButton::toggled, this, [this](bool on) {
        setMode(on ? CustomDurationForm::Mode::duration : CustomDurationForm::Mode::until);
    });
    connect(minutes_, &QLineEdit::textChanged, this, [this](const QString& text) {
        form_.minutesText = text.toStdString();
        updateState();
    });
    connect(time_, &QTimeEdit::timeChanged, this, [this](QTime time) {
        // Only the hour and minute count; today's date carries them to the resolution.
        const Date now = clock_.now();
        auto local = calendar_.localTime(now);
        local.hour = time.hour();
        local.minute = time.minute();
        local.second = 0;
        form_.targetTime = calendar_.date(local).value_or(
            calendar_.nextDate(now, local.hour, local.minute, Calendar::Repeated::first).value_or(now));
        updateState();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &CustomDurationPanel::activateSession);
    languageConnection_ = texts_.languageChanged.connect([this] {
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    });
    untilMode_->setChecked(true);
    setMode(CustomDurationForm::Mode::until);
    // The time has the keys at first: type it, then Enter starts the session.
    time_->setFocus();
    WindowKeys::closeOnEscape(this);
    AccessKeys::assign(this);
}

bool CustomDurationPanel::canActivate() const {
    return form_.canActivate();
}

void CustomDurationPanel::setMode(CustomDurationForm::Mode mode) {
    form_.mode = mode;
    pages_->setCurrentIndex(mode == CustomDurationForm::Mode::duration ? 0 : 1);
    updateState();
}

void CustomDurationPanel::updateState() {
    activate_->setEnabled(form_.canActivate());
    tomorrow_->setVisible(form_.mode == CustomDurationForm::Mode::until &&
                          form_.meansTomorrow(clock_.now(), calendar_));
}

void CustomDurationPanel::activateSession() {
    const auto duration = form_.duration(clock_.now(), calendar_);
    if (!duration) return;
    model_.activate(*duration);
    accept();
}

}  // namespace torvel
