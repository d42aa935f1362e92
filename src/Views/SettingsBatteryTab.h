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
    /// While the emergency is on and Torvel may not put the computer to sleep: what is missing and
    /// the button that fixes it.
    void addEmergencyConsentRow(QVBoxLayout* section);

    SettingsContext context_;
    Connection emergencyConnection_;
    Connection settingConnection_;
    Connection stayguardConnection_;
};

}  // namespace torvel
