#include "Views/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScrollArea>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "State/AppState.h"
#include "Models/ShownText.h"
#include "UI/StateWindowModel.h"
#include "Views/AboutDialog.h"
#include "Views/AccessKeys.h"
#include "Views/CustomDurationPanel.h"
#include "Views/OnboardingPopup.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsNetworkSheet.h"
#include "Views/SettingsProfileEditor.h"
#include "Views/SettingsWindow.h"

namespace torvel {

namespace {

// Draws the model as the tray's menu would show it.
void fillMenu(QMenu* menu, const std::vector<MenuItem>& items) {
    for (const auto& item : items) {
        // A menu reads "&" as the mark of an access key; a profile's name may hold one.
        const QString title = AccessKeys::escaped(QString::fromStdString(item.title));
        if (item.style == MenuItemStyle::separator) {
            menu->addSeparator();
        } else if (!item.submenu.empty()) {
            fillMenu(menu->addMenu(title), item.submenu);
        } else {
            auto* action = menu->addAction(title);
            action->setEnabled(item.enabled && item.style == MenuItemStyle::normal);
            action->setCheckable(item.checkable);
            action->setChecked(item.checked);
            if (!item.iconName.empty())
                action->setIcon(QIcon::fromTheme(QString::fromStdString(item.iconName)));
        }
    }
}

class Shooter {
public:
    explicit Shooter(QString folder) : folder_(std::move(folder)) {}

    // Lays `widget` out as it would be shown and writes it to `name`.png.
    void take(QWidget* widget, const QString& name) {
        widget->show();
        QApplication::processEvents();
        const QString path = QDir(folder_).filePath(name + QStringLiteral(".png"));
        if (!widget->grab().save(path)) {
            std::fprintf(stderr, "torvel: cannot write %s\n", sanitizedText(path.toStdString()).c_str());
            failed_ = true;
        }
        widget->hide();
    }
    bool failed() const { return failed_; }

private:
    QString folder_;
    bool failed_ = false;
};

// The height at which every section of the page shows without scrolling (within reason).
int fullHeight(SettingsWindow& window, SettingsTab tab) {
    const auto* area = window.page(tab)->findChild<QScrollArea*>();
    const int content = area && area->widget() ? area->widget()->sizeHint().height() : 0;
    return std::clamp(content + 90, 600, 1100);
}

// Makes `folder` unless it is there. Only the last folder is made: a mistyped path does not leave a
// tree of new folders behind (anywhere at all when run as root). Why not, or std::nullopt.
std::optional<std::string> makeFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QFileInfo info(path);
    if (info.isDir()) return std::nullopt;
    if (info.exists()) return "it is not a folder";
    const QString parent = info.absolutePath();
    if (!QFileInfo(parent).isDir())
        return "the folder it goes in, " + sanitizedText(parent.toStdString()) + ", does not exist";
    std::error_code error;
    std::filesystem::create_directory(path.toStdString(), error);
    if (error) return error.message();
    return std::nullopt;
}

}  // namespace

int runScreenshots(const ScreenshotRequest& r) {
    if (const auto why = makeFolder(r.folder)) {
        std::fprintf(stderr, "torvel: cannot make the folder %s: %s\n",
                     sanitizedText(r.folder.toStdString()).c_str(), why->c_str());
        return 1;
    }
    Shooter shooter(r.folder);
    StateWindowModel model(r.state);
    {
        SettingsWindow window(model, r.texts, r.calendar, r.clock, SettingsTab::general);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        for (const auto tab : kAllSettingsTabs) {
            window.showTab(tab);
            window.resize(520, fullHeight(window, tab));
            shooter.take(&window, QStringLiteral("settings-") + QString::fromLatin1(rawValue(tab).data()));
        }
        SettingsBinder binder(model, r.texts);
        const SettingsContext context{model, r.texts, binder, r.calendar, r.clock};
        const auto& profiles = model.profiles();
        SettingsProfileEditor editor(context, profiles.empty() ? nullptr : &profiles.front(), &window);
        editor.setAttribute(Qt::WA_DeleteOnClose, false);
        shooter.take(&editor, QStringLiteral("profile-editor"));
        SettingsNetworkSheet sheet(context, &window);
        sheet.setAttribute(Qt::WA_DeleteOnClose, false);
        shooter.take(&sheet, QStringLiteral("network-sheet"));
    }
    CustomDurationPanel panel(model, r.texts, r.calendar, r.clock);
    panel.setAttribute(Qt::WA_DeleteOnClose, false);
    shooter.take(&panel, QStringLiteral("custom-duration"));
    AboutDialog about(r.texts, QCoreApplication::applicationVersion());
    about.setAttribute(Qt::WA_DeleteOnClose, false);
    shooter.take(&about, QStringLiteral("about"));
    OnboardingPopup onboarding(model, r.texts);
    onboarding.setAttribute(Qt::WA_DeleteOnClose, false);
    shooter.take(&onboarding, QStringLiteral("onboarding"));
    if (r.buildMenu) {
        QMenu menu;
        fillMenu(&menu, r.buildMenu().items);
        shooter.take(&menu, QStringLiteral("menu"));
    } else {
        std::fputs("torvel: no menu builder in this build: the menu is left out\n", stderr);
    }
    return shooter.failed() ? 1 : 0;
}

void addScreenshotExamples(AppState& state) {
    state.trustedNetworks().addTrustedSSID("Office");
    state.trustedNetworks().addTrustedSSID("Home 5G");
    state.trustedNetworks().handleWiFiStateChanged(true, std::string("Office"),
                                                   WiFiAuthorization::authorized);
    state.processTrigger().setWatchedApps({{Uuid::random(), "org.gnome.Builder", "Builder", Date()},
                                           {Uuid::random(), "org.videolan.VLC", "VLC media player", Date()}});
    auto profiles = state.profileLibrary().profiles();
    profiles.push_back(Profile{Uuid::random(), "Render overnight", Duration::custom(5400.0),
                               AssertionType::noSystemSleep, 25, std::nullopt});
    state.profileLibrary().setProfiles(std::move(profiles));
}

}  // namespace torvel
