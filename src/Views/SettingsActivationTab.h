#pragma once

#include <QWidget>

#include <string>

#include "Models/TrustedWiFiStatus.h"
#include "Support/Signal.h"
#include "Views/SettingsContext.h"

class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;

namespace torvel {

/// The activation tab: displays and mirroring, trusted Wi-Fi networks, and the applications that keep
/// the computer awake while they run. The lists follow every change; the running applications are read
/// when the add menu opens and whenever the process monitor reports a launch or an exit.
class SettingsActivationTab : public QWidget {
    Q_OBJECT
public:
    explicit SettingsActivationTab(SettingsContext context, QWidget* parent = nullptr);

    /// Opens the sheet for typing a network name.
    void openNetworkSheet();

private:
    void addTrustedNetworksSection(QVBoxLayout* page);
    /// The helper: whether it is installed, which of its permissions polkit grants, the install button
    /// and the last installation's result.
    void addStayguardSection(QVBoxLayout* page);
    void addProcessTriggerSection(QVBoxLayout* page);
    void rebuildNetworks();
    void rebuildWatchedApps();
    void fillAddAppMenu();
    void confirmNetworkRemoval(const std::string& ssid);

    SettingsContext context_;
    QLabel* wifiStatus_ = nullptr;
    QPushButton* addCurrent_ = nullptr;
    /// What the network rows were drawn for: the state changes every second during a countdown, and
    /// redrawing the rows each time would also take the keyboard focus away from them.
    TrustedWiFiStatus shownStatus_;
    QVBoxLayout* networks_ = nullptr;
    QVBoxLayout* watched_ = nullptr;
    QMenu* addAppMenu_ = nullptr;
    Connection settingConnection_;
    Connection runningAppsConnection_;
    Connection stayguardConnection_;
    Connection wifiConnection_;
};

}  // namespace torvel
