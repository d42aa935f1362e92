#pragma once

#include <QWidget>

#include "Views/SettingsContext.h"

namespace torvel {

/// The sound tab: the lid-close sound and the heartbeat pip, each with its volume.
class SettingsAudioTab : public QWidget {
    Q_OBJECT
public:
    explicit SettingsAudioTab(SettingsContext context, QWidget* parent = nullptr);

private:
    SettingsContext context_;
};

}  // namespace torvel
