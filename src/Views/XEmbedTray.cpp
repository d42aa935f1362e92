#include "Views/XEmbedTray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <QTextDocument>

#include "Views/TrayGlyphArt.h"
#include "UI/ClickRouting.h"

namespace torvel {

XEmbedTray::XEmbedTray(std::function<MenuModel()> build, std::function<void(const MenuItem&)> perform,
                       std::function<void()> toggle, std::filesystem::path iconThemeFolder)
    : build_(std::move(build)),
      perform_(std::move(perform)),
      toggle_(std::move(toggle)),
      iconThemeFolder_(std::move(iconThemeFolder)) {
    icon_.setContextMenu(&menu_);
    // Built when it opens, so it reads the state of that moment; dropped when it closes.
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        menu_.clear();
        // clear() keeps the submenus of the last opening alive: they are the menu's children.
        for (auto* old : menu_.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) old->deleteLater();
        if (build_) fill(menu_, build_().items, perform_, [this](const std::string& name) { return iconNamed(name); });
        menuOpenChanged.emit(true);
    });
    connect(&menu_, &QMenu::aboutToHide, this, [this] { menuOpenChanged.emit(false); });
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A right click opens the context menu by itself.
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::MiddleClick) return;
        const auto click = reason == QSystemTrayIcon::MiddleClick ? StatusItemClick::middle : StatusItemClick::primary;
        const bool control = QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
        if (routeStatusItemClick(click, control) == StatusItemClickResult::openMenu) {
            menu_.popup(QCursor::pos());
        } else if (toggle_) {
            toggle_();
        }
    });
}

QIcon XEmbedTray::iconNamed(const std::string& name) {
    // An XEmbed tray shows pixels and recolours nothing: the glyph drawn at build time in the shade
    // that suits the desktop, picked afresh each time so a theme change shows with the next update.
    const GlyphShade shade = paletteGlyphShade();
    const std::string key = name + "@" + toString(shade);
    if (auto found = icons_.find(key); found != icons_.end()) return found->second;
    QIcon icon;
    for (const QImage& image : loadTrayImages(trayPixmapFolder(iconThemeFolder_), name, shade))
        icon.addPixmap(QPixmap::fromImage(image));
    // Not drawn ahead: the SVG as it is, or the desktop's theme may have the name.
    if (icon.isNull()) {
        const auto path = iconThemeFolder_ / "hicolor" / "scalable" / "status" / (name + ".svg");
        icon = QIcon(QString::fromStdString(path.string()));
        if (icon.availableSizes().isEmpty() && icon.pixmap(16).isNull())
            icon = QIcon::fromTheme(QString::fromStdString(name));
    }
    return icons_[key] = icon;
}

void XEmbedTray::setPresentation(const StatusItemPresentation& presentation) {
    icon_.setIcon(iconNamed(presentation.iconName));
    // The title ("Torvel: 24 min left") leads, as StatusNotifier hosts show it.
    QString tip = QString::fromStdString(presentation.tooltipTitle);
    if (!tip.isEmpty()) tip += "\n";
    tip += QString::fromStdString(presentation.accessibleText);
    const QString title = QString::fromStdString(presentation.title).trimmed();
    if (!title.isEmpty()) tip += "\n" + title;
    icon_.setToolTip(tip);
}

void XEmbedTray::fill(QMenu& menu, const std::vector<MenuItem>& items,
                      const std::function<void(const MenuItem&)>& perform,
                      const std::function<QIcon(const std::string&)>& iconFor) {
    for (const auto& item : items) {
        if (item.style == MenuItemStyle::separator) {
            menu.addSeparator();
            continue;
        }
        // Qt reads '&' as the mnemonic marker; a title's own ampersands are doubled to show as themselves.
        const QString title = QString::fromStdString(item.title).replace('&', "&&");
        QAction* action = nullptr;
        if (!item.submenu.empty()) {
            QMenu* sub = menu.addMenu(title);
            fill(*sub, item.submenu, perform, iconFor);
            action = sub->menuAction();
        } else {
            action = menu.addAction(title);
            // A copy: the model is gone by the time the item is chosen.
            QObject::connect(action, &QAction::triggered, action, [perform, item] {
                if (perform) perform(item);
            });
        }
        action->setEnabled(item.enabled && item.style == MenuItemStyle::normal);
        if (!item.iconName.empty())
            action->setIcon(iconFor ? iconFor(item.iconName) : QIcon::fromTheme(QString::fromStdString(item.iconName)));
        // Tooltips guess rich text from the text: names from outside ("<b>x</b>") stay literal as escaped
        // rich text, line breaks kept.
        if (!item.tooltip.empty())
            action->setToolTip(Qt::convertFromPlainText(QString::fromStdString(item.tooltip), Qt::WhiteSpaceNormal));
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
    }
    menu.setToolTipsVisible(true);
}

}  // namespace torvel
