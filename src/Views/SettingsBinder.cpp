#include "Views/SettingsBinder.h"

#include <QSignalBlocker>
#include <QTimer>

#include "Models/AssertionType.h"
#include "Support/Localization.h"
#include "UI/SettingsMappings.h"

namespace torvel {

SettingsBinder::SettingsBinder(WindowModel& model, const Localization& texts, QObject* parent)
    : QObject(parent), model_(model), texts_(texts) {
    settingConnection_ = model_.settingChanged.connect([this](std::string_view) { refresh(); });
    // A model over the bus hears of a refusal only after set() returned.
    refusalConnection_ =
        model_.settingRefused.connect([this](const SettingRefusal& refusal) { report(refusal); });
}

void SettingsBinder::report(const SettingRefusal& refusal) {
    Q_EMIT refused(QString::fromStdString(refusal.message));
    refresh();
}

void SettingsBinder::refresh() {
    // A refresher may write nothing, but the signal of a control it sets might: block re-entry.
    if (refreshing_) return;
    refreshing_ = true;
    for (const auto& refresher : refreshers_) refresher();
    refreshing_ = false;
}

void SettingsBinder::follow(std::function<void()> refresh) {
    refresh();
    refreshers_.push_back(std::move(refresh));
}

void SettingsBinder::toggle(SettingsToggle* toggle, bool SettingsValues::*member) {
    QCheckBox* box = toggle->box();
    connect(box, &QCheckBox::toggled, this, [this, member](bool on) { write(member, on); });
    follow([this, box, member] {
        const QSignalBlocker block(box);
        box->setChecked(model_.settings().*member);
    });
}

void SettingsBinder::slider(QSlider* slider, std::int64_t SettingsValues::*member,
                            std::function<void(std::int64_t)> shown) {
    const auto commit = [this, slider, member] {
        if (slider->value() != model_.settings().*member)
            write(member, static_cast<std::int64_t>(slider->value()));
    };
    connect(slider, &QSlider::valueChanged, this, [slider, shown, commit](int value) {
        if (shown) shown(value);
        if (!slider->isSliderDown()) commit();
    });
    connect(slider, &QSlider::sliderReleased, this, commit);
    follow([this, slider, member, shown] {
        const QSignalBlocker block(slider);
        slider->setValue(static_cast<int>(model_.settings().*member));
        if (shown) shown(model_.settings().*member);
    });
}

void SettingsBinder::spin(QSpinBox* spin, std::int64_t SettingsValues::*member) {
    connect(spin, &QSpinBox::valueChanged, this,
            [this, member](int value) { write(member, static_cast<std::int64_t>(value)); });
    follow([this, spin, member] {
        const QSignalBlocker block(spin);
        spin->setValue(static_cast<int>(model_.settings().*member));
    });
}

void SettingsBinder::volume(QSlider* slider, float SettingsValues::*member, QLabel* valueLabel) {
    slider->setRange(0, SettingsMappings::kVolumeSliderMax);
    const auto show = [this, valueLabel](float volume) {
        const auto text = SettingsMappings::volumeText(volume, texts_.languageCode());
        valueLabel->setText(QString::fromStdString(text));
    };
    const auto commit = [this, slider, member] {
        const float volume = SettingsMappings::volumeForSliderPosition(slider->value());
        if (SettingsMappings::volumeSliderPosition(model_.settings().*member) != slider->value())
            write(member, volume);
    };
    connect(slider, &QSlider::valueChanged, this, [slider, show, commit](int position) {
        show(SettingsMappings::volumeForSliderPosition(position));
        if (!slider->isSliderDown()) commit();
    });
    connect(slider, &QSlider::sliderReleased, this, commit);
    follow([this, slider, member, show] {
        const QSignalBlocker block(slider);
        slider->setValue(SettingsMappings::volumeSliderPosition(model_.settings().*member));
        show(model_.settings().*member);
    });
}

void SettingsBinder::assertionType(QComboBox* combo, AssertionType SettingsValues::*member) {
    connect(combo, &QComboBox::activated, this, [this, member](int index) {
        if (index >= 0 && index < static_cast<int>(kAllAssertionTypes.size()))
            write(member, kAllAssertionTypes[static_cast<std::size_t>(index)]);
    });
    follow([this, combo, member] {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(static_cast<int>(model_.settings().*member));
    });
}

void SettingsBinder::language(QComboBox* combo) {
    static constexpr AppLanguage kChoices[] = {AppLanguage::system, AppLanguage::en, AppLanguage::cs};
    connect(combo, &QComboBox::activated, this, [this](int index) {
        // The window rebuilds itself in the new language, this combo box included: not from inside
        // the combo box's own signal.
        if (index < 0 || index > 2) return;
        QTimer::singleShot(0, this, [this, index] { write(&SettingsValues::language, kChoices[index]); });
    });
    follow([this, combo] {
        const QSignalBlocker block(combo);
        for (int i = 0; i < 3; ++i) {
            if (kChoices[i] == model_.settings().language) combo->setCurrentIndex(i);
        }
    });
}

void SettingsBinder::terminateBlockers(SettingsToggle* toggle) {
    QCheckBox* box = toggle->box();
    connect(box, &QCheckBox::toggled, this, [this](bool on) {
        write(&SettingsValues::emergencyTerminateBlockersPercent,
              SettingsMappings::terminateBlockersPercent(on));
    });
    follow([this, box] {
        const QSignalBlocker block(box);
        box->setChecked(
            SettingsMappings::terminateBlockersOn(model_.settings().emergencyTerminateBlockersPercent));
    });
}

}  // namespace torvel
