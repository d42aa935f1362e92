#pragma once

#include <QWidget>

#include "Support/Signal.h"
#include "UI/SettingsTab.h"
#include "Views/SettingsContext.h"

class QLabel;
class QTabWidget;

namespace torvel {

class SettingsBinder;
class WindowModel;

/// The settings window: five tabs with every setting, list and sheet. It is built when opened and
/// deletes itself when closed; while open it redraws itself in a new language and shows a refused
/// write above the tabs.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(WindowModel& model, Localization& texts, const Calendar& calendar, const Clock& clock,
                   SettingsTab tab, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    /// Switches to `tab`.
    void showTab(SettingsTab tab);
    SettingsTab currentTab() const;
    /// The page widget of `tab` (tests and screenshots reach the controls through it).
    QWidget* page(SettingsTab tab) const;

private:
    /// Builds the tabs in the current language, replacing earlier ones.
    void build();
    void showRefusal(const QString& message);

    WindowModel& model_;
    Localization& texts_;
    const Calendar& calendar_;
    const Clock& clock_;
    QWidget* content_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLabel* banner_ = nullptr;
    SettingsBinder* binder_ = nullptr;
    Connection languageConnection_;
    Connection settingConnection_;
};

}  // namespace torvel
