#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <optional>
#include <string_view>

#include "UI/SettingsTab.h"

namespace torvel {

class AboutDialog;
class Calendar;
class Clock;
class CustomDurationPanel;
class Localization;
class OnboardingPopup;
class SettingsWindow;
class WindowModel;

/// The windows the tray, the menu and the application open. Each is built when asked for and deleted
/// when closed, so a resident Torvel holds no window it does not show; asking again for one that is
/// open brings it to the front.
class Windows : public QObject {
    Q_OBJECT
public:
    Windows(WindowModel& model, Localization& texts, const Calendar& calendar, const Clock& clock,
            QObject* parent = nullptr);
    ~Windows() override;

    /// Opens the settings on the tab named `tab` (general when absent or unknown), or brings the open
    /// window to the front and switches it to that tab.
    SettingsWindow* showSettings(std::optional<std::string_view> tab = std::nullopt);
    /// As showSettings, by tab.
    SettingsWindow* showOrRaise(SettingsTab tab);
    /// Opens the custom-duration panel, or brings the open one to the front.
    CustomDurationPanel* showCustomDurationPanel();
    /// Opens the about window, or brings the open one to the front.
    AboutDialog* showAbout();
    /// Shows the one-time hint beside the tray icon at `icon` (centred when absent); nullptr once the
    /// user has seen it.
    OnboardingPopup* showOnboarding(std::optional<QRect> icon);
    /// As above, beside a point.
    OnboardingPopup* showOnboarding(std::optional<QPoint> near = std::nullopt);

private:
    WindowModel& model_;
    Localization& texts_;
    const Calendar& calendar_;
    const Clock& clock_;
    QPointer<SettingsWindow> settings_;
    QPointer<CustomDurationPanel> customDuration_;
    QPointer<AboutDialog> about_;
    QPointer<OnboardingPopup> onboarding_;
};

}  // namespace torvel
