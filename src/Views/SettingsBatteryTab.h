#pragma once

#include <QWidget>

#include "Views/SettingsContext.h"

class QVBoxLayout;

namespace torvel {

/// The battery tab: the battery limit and its warning, and the emergency sleep near an empty battery.
class SettingsBatteryTab : public QWidget {
    Q_OBJECT
public:
    explicit SettingsBatteryTab(SettingsContext context, QWidget* parent = nullptr);

private:
    /// The prompt for the permission to put the computer to sleep joins this section once the
    /// emergency consent is wired in.
    void addEmergencyConsentRow(QVBoxLayout* section);

    SettingsContext context_;
};

}  // namespace torvel
