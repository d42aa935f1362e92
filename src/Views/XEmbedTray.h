#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Support/Signal.h"
#include "UI/MenuModel.h"
#include "UI/StatusItemPresentation.h"

namespace torvel {

/// Torvel's tray icon in an XEmbed system tray (an X11 panel without a StatusNotifier host), through
/// QSystemTrayIcon. A left or middle click toggles; the menu is built from the model each time it
/// opens. Qt docks the icon by itself when a tray appears after it was shown. Needs a QApplication.
class XEmbedTray : public QObject {
    Q_OBJECT
public:
    /// `build` makes the menu afresh; `perform` receives a chosen item; `toggle` is the click.
    XEmbedTray(std::function<MenuModel()> build, std::function<void(const MenuItem&)> perform,
               std::function<void()> toggle, std::filesystem::path iconThemeFolder);

    /// Shows `presentation`: the icon, and the texts in the tooltip (an XEmbed icon has no label).
    void setPresentation(const StatusItemPresentation& presentation);
    /// Puts the icon in the tray (once one is there).
    void show() { icon_.show(); }
    /// Where the icon is on the screen; empty until a tray has docked it.
    QRect iconGeometry() const { return icon_.geometry(); }
    /// Emitted when the menu opens (true) and closes (false).
    Signal<bool> menuOpenChanged;

    /// Fills `menu` with `items`; choosing one calls `perform` with a copy of it. Icons come from
    /// `iconFor` when given (Torvel's own, which the desktop's theme may not have), else the theme.
    static void fill(QMenu& menu, const std::vector<MenuItem>& items,
                     const std::function<void(const MenuItem&)>& perform,
                     const std::function<QIcon(const std::string&)>& iconFor = {});

private:
    QIcon iconNamed(const std::string& name);

    std::function<MenuModel()> build_;
    std::function<void(const MenuItem&)> perform_;
    std::function<void()> toggle_;
    std::filesystem::path iconThemeFolder_;
    std::map<std::string, QIcon> icons_;
    QMenu menu_;
    QSystemTrayIcon icon_;
};

}  // namespace torvel
