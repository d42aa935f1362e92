#pragma once

#include <QWidget>

#include "Support/Signal.h"
#include "Views/SettingsContext.h"

class QVBoxLayout;

namespace torvel {

/// The general tab: language, display and screen saver, the tray icon's texts, the reminder.
class SettingsGeneralTab : public QWidget {
    Q_OBJECT
public:
    explicit SettingsGeneralTab(SettingsContext context, QWidget* parent = nullptr);

private:
    /// The start-at-login switch, where Torvel can be started at login.
    void addLaunchAtLoginRow(QVBoxLayout* section);

    SettingsContext context_;
    Connection activationConnection_;
    Connection loginItemConnection_;
};

}  // namespace torvel
