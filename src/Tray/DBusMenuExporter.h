#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Platform/Log.h"
#include "Support/Signal.h"
#include "Tray/DBusMenuTypes.h"
#include "UI/MenuModel.h"

namespace torvel {

/// The status item's menu as com.canonical.dbusmenu (version 3), the protocol panel hosts read a
/// StatusNotifierItem's menu through. Hosts size a menu from the layout they hold when they open it,
/// so a change of what the menu shows is announced when it happens (menuMayHaveChanged), not when the
/// next opening asks. Ids keep increasing across layouts, so an id from an earlier layout never names
/// an item of the current one: events for it are ignored. Every incoming call is checked before use;
/// the bus is not trusted. Nothing here runs on a timer.
class DBusMenuExporter : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr const char* kPath = "/MenuBar";
    static constexpr const char* kInterface = "com.canonical.dbusmenu";
    /// Torvel's own icons are sent as the build's PNG renderings this many pixels square, in the glyph
    /// that suits the desktop; hosts scale them down.
    static constexpr int kIconPixels = 32;

    /// `build` makes the menu from the state as it stands and does nothing else; `perform` receives a
    /// clicked item. Torvel's own icons live in `iconThemeFolder` (a folder holding hicolor/).
    DBusMenuExporter(QDBusConnection bus, std::function<MenuModel()> build,
                     std::function<void(const MenuItem&)> perform, std::filesystem::path iconThemeFolder,
                     LogSink& log);
    ~DBusMenuExporter() override;

    /// Exports the menu at kPath; false when the path is taken.
    bool exportOn();
    /// Emitted when a host opens (true) or closes (false) the menu.
    Signal<bool> openChanged;
    /// Emitted once per opening, before the menu is built for it: the moment to ask for fresh readings.
    Signal<> opening;
    /// What the menu shows may have changed. Once the event loop turns, the menu is built again and
    /// compared with the one exported; a host is told of a difference only: LayoutUpdated when items
    /// come or go, ItemsPropertiesUpdated (same ids) when only texts and states changed. A burst of
    /// calls makes one check; before a host has read the menu there is nothing to tell.
    void menuMayHaveChanged();
    /// The layout revision hosts see; it grows with every change of the menu's items.
    uint revision() const { return revision_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Entry {
        int parent = -1;  // index of the parent entry; -1 for the root's children
        QVariantMap properties;
        MenuItem item;
        std::vector<int> children;
    };
    /// What a rebuild changed, as hosts are told it.
    struct Update {
        enum class Kind { none, properties, layout } kind = Kind::none;
        QList<DBusMenuItemProperties> changed;
        QList<DBusMenuItemPropertyNames> removed;
    };

    /// Builds the menu and takes it: new ids and a new revision when its items differ from the ones
    /// shown, the same ids when only their properties do.
    Update rebuild();
    /// Sends the signal that tells hosts of `update`.
    void announce(const Update& update);
    void flatten(const std::vector<MenuItem>& items, int parent, std::vector<Entry>& out);
    QVariantMap propertiesOf(const MenuItem& item);
    /// PNG bytes of Torvel's own icon `name`; empty for any other icon or when it cannot be read.
    const QByteArray& iconData(const std::string& name);
    /// Index of the entry with `id`; -1 for the root, -2 when the id names nothing now.
    int indexOf(int id) const;
    int idOf(int index) const { return firstId_ + index; }
    QVariant layoutOf(int index, int depth, const QStringList& names) const;
    QVariantMap filtered(const QVariantMap& properties, const QStringList& names) const;
    /// Carries out one event; false when the id names nothing now.
    bool handleEvent(int id, const QString& name);

    QDBusConnection bus_;
    std::function<MenuModel()> build_;
    std::function<void(const MenuItem&)> perform_;
    std::filesystem::path iconThemeFolder_;
    /// The icons are installed where hosts look names up; a build tree's are not.
    bool iconsFoundByName_ = false;
    std::map<std::string, QByteArray> icons_;
    Logger log_;
    std::vector<Entry> entries_;
    std::vector<int> rootChildren_;
    bool built_ = false;
    int firstId_ = 1;  // the id of entries_[0]
    uint revision_ = 0;
    bool exported_ = false;
    bool checkQueued_ = false;
    /// The readings were refreshed by AboutToShow for the opening under way; its "opened" event must
    /// not refresh them again.
    bool refreshedForOpening_ = false;
};

}  // namespace torvel
