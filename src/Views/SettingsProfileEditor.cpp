#include "Views/SettingsProfileEditor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <iterator>

#include "UI/SettingsMappings.h"
#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsToggle.h"
#include "Views/SettingsWidgets.h"
#include "Views/TextTones.h"
#include "Views/WindowKeys.h"

namespace torvel {

SettingsProfileEditor::SettingsProfileEditor(SettingsContext context, const Profile* existing,
                                             QWidget* parent)
    : QDialog(parent), context_(context), form_(existing, context.model.profiles(), context.texts) {
    auto& c = context_;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(c.text(form_.isEditing() ? "profile.edit_title" : "profile.new_title"));
    setMinimumWidth(400);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(windowTitle());
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    layout->addLayout(form);

    name_ = new QLineEdit(QString::fromStdString(form_.name));
    name_->setAccessibleName(c.text("profile.name"));
    form->addRow(c.text("profile.name"), name_);
    nameError_ = new QLabel(c.text("profile.name_taken"));
    nameError_->setWordWrap(true);
    setTextTone(nameError_, TextTone::error);
    form->addRow(nameError_);

    duration_ = new QComboBox;
    for (const auto& preset : Duration::menuPresets())
        duration_->addItem(
            QString::fromStdString(SettingsMappings::durationTitle(preset, c.texts, c.calendar)));
    // A duration that is no preset (a custom one) shows no choice and is kept unless one is picked.
    duration_->setCurrentIndex(form_.presetIndex() ? static_cast<int>(*form_.presetIndex()) : -1);
    duration_->setAccessibleName(c.text("profile.duration"));
    form->addRow(c.text("profile.duration"), duration_);

    assertion_ = new QComboBox;
    for (const auto type : kAllAssertionTypes) assertion_->addItem(c.text(labelKey(type)));
    assertion_->setCurrentIndex(static_cast<int>(form_.assertionType()));
    assertion_->setAccessibleName(c.text("profile.assertion_type"));
    form->addRow(c.text("profile.assertion_type"), assertion_);

    overrideOn_ = new SettingsToggle(c.text("profile.custom_battery"));
    overrideOn_->box()->setChecked(form_.hasBatteryOverride());
    layout->addWidget(overrideOn_);
    overrideRow_ = new QWidget;
    auto* overrideLayout = new QVBoxLayout(overrideRow_);
    overrideLayout->setContentsMargins(0, 0, 0, 0);
    auto* sliderLine = new QHBoxLayout;
    override_ = new QSlider(Qt::Horizontal);
    override_->setRange(ProfileEditorForm::kMinOverride, ProfileEditorForm::kMaxOverride);
    override_->setValue(form_.batteryOverride());
    override_->setAccessibleName(c.text("profile.custom_battery"));
    overrideValue_ = new QLabel;
    overrideValue_->setMinimumWidth(overrideValue_->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) +
                                    4);
    sliderLine->addWidget(override_, 1);
    sliderLine->addWidget(overrideValue_);
    overrideLayout->addLayout(sliderLine);
    SettingsWidgets::caption(overrideLayout, c.text("profile.battery_disabled_note"));
    layout->addWidget(overrideRow_);

    auto* buttons = new QDialogButtonBox;
    auto* cancel = buttons->addButton(c.text("profile.cancel"), QDialogButtonBox::RejectRole);
    save_ = buttons->addButton(c.text("profile.save"), QDialogButtonBox::AcceptRole);
    save_->setDefault(true);
    cancel->setAccessibleName(cancel->text());
    save_->setAccessibleName(save_->text());
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        form_.name = text.toStdString();
        updateState();
    });
    connect(duration_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) form_.choosePreset(static_cast<std::size_t>(index));
    });
    connect(assertion_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(kAllAssertionTypes.size()))
            form_.setAssertionType(kAllAssertionTypes[static_cast<std::size_t>(index)]);
    });
    connect(overrideOn_->box(), &QCheckBox::toggled, this, [this](bool on) {
        form_.setHasBatteryOverride(on);
        updateState();
    });
    connect(override_, &QSlider::valueChanged, this, [this](int value) {
        form_.setBatteryOverride(value);
        updateState();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsProfileEditor::save);
    QWidget* order[] = {name_, duration_, assertion_, overrideOn_->box(), override_, cancel, save_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    WindowKeys::closeOnEscape(this);
    AccessKeys::assign(this);
    updateState();
}

void SettingsProfileEditor::updateState() {
    save_->setEnabled(form_.canSave());
    nameError_->setVisible(form_.nameProblem() == ProfileEditorForm::NameProblem::taken);
    overrideRow_->setVisible(form_.hasBatteryOverride());
    overrideValue_->setText(QString::fromStdString(
        SettingsMappings::percentText(form_.batteryOverride(), context_.texts.languageCode())));
}

void SettingsProfileEditor::save() {
    const auto record = form_.record();
    if (!record) return;
    context_.model.saveEditedProfile(*record);
    accept();
}

}  // namespace torvel
