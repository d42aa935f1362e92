#include "XEmbedHost/TrayMenu.h"

#include <QActionGroup>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDateTime>
#include <QFileInfo>
#include <QPixmap>

namespace torvel {
namespace {

constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr int kTimeoutMs = 5000;  // the owner answers at once; a hung one must not hold a call forever

/// The ids of the entries shown and their depths, in menu order: two menus of one shape differ only
/// in texts and states.
void shapeOf(const std::vector<HostMenuEntry>& entries, int depth, std::vector<std::pair<int, int>>& out) {
    for (const auto& entry : entries) {
        if (!entry.visible) continue;
        out.emplace_back(entry.separator ? -1 : entry.id, depth);
        if (entry.submenu && !entry.separator) shapeOf(entry.children, depth + 1, out);
    }
}

}  // namespace

TrayMenu::TrayMenu(QDBusConnection bus, QString service, LogSink& log)
    : bus_(std::move(bus)), service_(std::move(service)), log_(log, "XEmbedTray") {
    connect(&menu_, &QMenu::aboutToShow, this, [this] { sendEvent(0, QStringLiteral("opened")); });
    connect(&menu_, &QMenu::aboutToHide, this, [this] { sendEvent(0, QStringLiteral("closed")); });
}

void TrayMenu::setMenuPath(const QString& path) {
    if (path == path_) return;
    if (!path_.isEmpty()) {
        bus_.disconnect(service_, path_, kMenuInterface, "LayoutUpdated", this, SLOT(onMenuChanged()));
        bus_.disconnect(service_, path_, kMenuInterface, "ItemsPropertiesUpdated", this,
                        SLOT(onMenuChanged()));
    }
    path_ = path;
    if (path_.isEmpty()) return;
    bus_.connect(service_, path_, kMenuInterface, "LayoutUpdated", this, SLOT(onMenuChanged()));
    bus_.connect(service_, path_, kMenuInterface, "ItemsPropertiesUpdated", this, SLOT(onMenuChanged()));
}

void TrayMenu::popUp(QPoint at) {
    if (path_.isEmpty()) {
        log_.info("The item has no menu to open");
        return;
    }
    at_ = at;
    // The owner refreshes what the menu shows as it opens; the layout read next is that refreshed one,
    // as the owner handles one connection's calls in order.
    auto call = QDBusMessage::createMethodCall(service_, path_, kMenuInterface, "AboutToShow");
    call << 0;
    call.setAutoStartService(false);
    bus_.asyncCall(call, kTimeoutMs);
    readLayout(true);
}

void TrayMenu::onMenuChanged() {
    // A closed menu is read when it opens next.
    if (menu_.isVisible()) readLayout(false);
}

void TrayMenu::readLayout(bool show) {
    auto call = QDBusMessage::createMethodCall(service_, path_, kMenuInterface, "GetLayout");
    call << 0 << -1 << QStringList();
    call.setAutoStartService(false);
    const unsigned reading = ++reading_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, reading, show](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (reading != reading_) return;
                const auto layout = menuLayoutFrom(done->reply());
                if (!layout) {
                    log_.error("The item's menu could not be read: {}",
                               done->isError() ? done->error().message().toStdString() : "not a menu layout");
                    return;
                }
                // A countdown changes a text every second while the menu is open: the entry under the pointer
                // stays as it is unless entries came or went.
                if (menu_.isVisible() && updateInPlace(layout->root.children)) {
                    log_.debug("The open menu's texts and states were updated (revision {})",
                               layout->revision);
                    return;
                }
                if (menu_.isVisible())
                    log_.debug("The open menu was built anew (revision {})", layout->revision);
                menu_.clear();
                // clear() keeps the submenus of the last reading alive: they are the menu's children.
                for (auto* old : menu_.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) old->deleteLater();
                actions_.clear();
                shape_.clear();
                shapeOf(layout->root.children, 0, shape_);
                fill(menu_, layout->root.children);
                if (show && !menu_.isVisible()) menu_.popup(at_);
            });
}

void TrayMenu::fill(QMenu& menu, const std::vector<HostMenuEntry>& entries) {
    QActionGroup* radios = nullptr;
    for (const auto& entry : entries) {
        if (!entry.visible) continue;
        if (entry.separator) {
            menu.addSeparator();
            radios = nullptr;
            continue;
        }
        QAction* action = nullptr;
        if (entry.submenu) {
            QMenu* sub = menu.addMenu(entry.label);
            fill(*sub, entry.children);
            action = sub->menuAction();
        } else {
            action = menu.addAction(entry.label);
            const int id = entry.id;
            connect(action, &QAction::triggered, this,
                    [this, id] { sendEvent(id, QStringLiteral("clicked")); });
        }
        actions_[entry.id] = action;
        dress(*action, entry);
        if (entry.toggle != HostMenuEntry::Toggle::none) {
            // The owner decides what a click changes: the mark shown is the one it sends back.
            connect(action, &QAction::triggered, action,
                    [action] { action->setChecked(!action->isChecked()); });
        }
        if (entry.toggle == HostMenuEntry::Toggle::radio) {
            if (!radios) radios = new QActionGroup(&menu);
            radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
            radios->addAction(action);
        } else {
            radios = nullptr;
        }
    }
}

void TrayMenu::dress(QAction& action, const HostMenuEntry& entry) {
    action.setText(entry.label);
    action.setEnabled(entry.enabled);
    action.setIcon(iconOf(entry));
    action.setCheckable(entry.toggle != HostMenuEntry::Toggle::none);
    action.setChecked(entry.checked);
}

bool TrayMenu::updateInPlace(const std::vector<HostMenuEntry>& entries) {
    std::vector<std::pair<int, int>> shape;
    shapeOf(entries, 0, shape);
    if (shape != shape_) return false;
    auto walk = [this](const auto& self, const std::vector<HostMenuEntry>& level) -> void {
        for (const auto& entry : level) {
            if (!entry.visible || entry.separator) continue;
            if (auto found = actions_.find(entry.id); found != actions_.end() && found->second)
                dress(*found->second, entry);
            if (entry.submenu) self(self, entry.children);
        }
    };
    walk(walk, entries);
    return true;
}

QIcon TrayMenu::iconOf(const HostMenuEntry& entry) {
    if (!entry.iconData.isEmpty()) {
        QPixmap pixmap;
        if (pixmap.loadFromData(entry.iconData, "PNG")) return QIcon(pixmap);
    }
    if (entry.iconName.isEmpty()) return {};
    if (auto found = icons_.find(entry.iconName); found != icons_.end()) return found->second;
    QIcon icon;
    // The item's own folder first: its icons need not be installed where the desktop's theme looks.
    for (const char* kind : {"status", "actions", "apps"}) {
        const QString svg =
            QString("%1/hicolor/scalable/%2/%3.svg").arg(iconThemePath_, kind, entry.iconName);
        if (!iconThemePath_.isEmpty() && QFileInfo::exists(svg)) {
            icon = QIcon(svg);
            break;
        }
    }
    if (icon.isNull()) icon = QIcon::fromTheme(entry.iconName);
    return icons_[entry.iconName] = icon;
}

void TrayMenu::sendEvent(int id, const QString& name) {
    if (path_.isEmpty()) return;
    auto call = QDBusMessage::createMethodCall(service_, path_, kMenuInterface, "Event");
    call << id << name << QVariant::fromValue(QDBusVariant(0))
         << static_cast<uint>(QDateTime::currentSecsSinceEpoch());
    call.setAutoStartService(false);
    bus_.asyncCall(call, kTimeoutMs);
}

}  // namespace torvel
