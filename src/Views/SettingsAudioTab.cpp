#include "Views/SettingsAudioTab.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

#include "UI/WindowModel.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsToggle.h"
#include "Views/SettingsWidgets.h"

namespace torvel {

namespace {

// "Volume", the slider and its percentage; the percentage keeps a column wide enough for "100%".
QSlider* volumeRow(QVBoxLayout* layout, const SettingsContext& c, float SettingsValues::*member,
                   std::string_view accessibleKey) {
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(c.text("settings.audio.volume"));
    auto* slider = new QSlider(Qt::Horizontal);
    auto* value = new QLabel;
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) + 4);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    slider->setAccessibleName(c.text(accessibleKey));
    slider->setPageStep(10);
    label->setBuddy(slider);
    line->addWidget(label);
    line->addWidget(slider, 1);
    line->addWidget(value);
    layout->addWidget(row);
    c.binder.volume(slider, member, value);
    return slider;
}

}  // namespace

SettingsAudioTab::SettingsAudioTab(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(context) {
    auto& c = context_;
    QVBoxLayout* page = SettingsWidgets::scrolledPage(this);
    auto* audio = SettingsWidgets::section(page, c.text("settings.audio_feedback"));

    auto* lid = new SettingsToggle(c.text("settings.audio.lid_close_enabled"));
    audio->addWidget(lid);
    c.binder.toggle(lid, &SettingsValues::lidCloseSoundEnabled);
    SettingsWidgets::caption(audio, c.text("settings.audio.lid_close_note"));
    auto* lidVolume = volumeRow(audio, c, &SettingsValues::lidCloseSoundVolume, "a11y.lid_close_volume");

    auto* heartbeat = new SettingsToggle(c.text("settings.audio.heartbeat_enabled"));
    audio->addWidget(heartbeat);
    c.binder.toggle(heartbeat, &SettingsValues::heartbeatPipEnabled);
    SettingsWidgets::caption(audio, c.text("settings.audio.heartbeat_note"));
    auto* decay = new SettingsToggle(c.text("settings.audio.heartbeat_decay"));
    audio->addWidget(decay);
    c.binder.toggle(decay, &SettingsValues::heartbeatPipDecayEnabled);
    SettingsWidgets::caption(audio, c.text("settings.audio.heartbeat_decay_note"));
    auto* heartbeatVolume = volumeRow(audio, c, &SettingsValues::heartbeatPipVolume, "a11y.heartbeat_volume");

    // A volume or a decay for a sound that is off would change nothing.
    c.binder.follow([this, lidVolume, decay, heartbeatVolume] {
        const auto& settings = context_.model.settings();
        lidVolume->setEnabled(settings.lidCloseSoundEnabled);
        decay->setEnabled(settings.heartbeatPipEnabled);
        heartbeatVolume->setEnabled(settings.heartbeatPipEnabled);
    });
    page->addStretch(1);
}

}  // namespace torvel
