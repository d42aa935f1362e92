#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <functional>
#include <vector>

#include "Platform/Log.h"
#include "UI/MenuModel.h"

namespace torvel {

/// The status item's menu as com.canonical.dbusmenu (version 3), the protocol panel hosts read a
/// StatusNotifierItem's menu through. The menu is built from the model only when a host asks for it
/// (AboutToShow or the root's layout), never on a timer. Ids keep increasing across rebuilds, so an
/// id from an earlier layout never names an item of the current one: events for it are ignored.
/// Every incoming call is checked before use; the bus is not trusted.
class DBusMenuExporter : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr const char* kPath = "/MenuBar";
    static constexpr const char* kInterface = "com.canonical.dbusmenu";

    /// `build` makes the menu afresh; `perform` receives a clicked item.
    DBusMenuExporter(QDBusConnection bus, std::function<MenuModel()> build,
                     std::function<void(const MenuItem&)> perform, LogSink& log);
    ~DBusMenuExporter() override;

    /// Exports the menu at kPath; false when the path is taken.
    bool exportOn();
    /// Told when a host opens (true) or closes (false) the menu.
    void setOnOpenChanged(std::function<void(bool)> callback) { onOpenChanged_ = std::move(callback); }
    /// The layout revision hosts see; it grows with every change of the menu.
    uint revision() const { return revision_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    /// The dbusmenu form of a Qt portable shortcut: "Ctrl+Q" is [["Control", "q"]]; empty for none.
    static QList<QStringList> shortcutKeys(const std::string& portable);

private:
    struct Entry {
        int parent = -1;  // index of the parent entry; -1 for the root's children
        QVariantMap properties;
        MenuItem item;
        std::vector<int> children;
    };

    /// Builds the menu; when it differs from the one shown, takes new ids and a new revision.
    bool rebuild();
    void flatten(const std::vector<MenuItem>& items, int parent, std::vector<Entry>& out) const;
    /// Index of the entry with `id`; -1 for the root, -2 when the id names nothing now.
    int indexOf(int id) const;
    int idOf(int index) const { return firstId_ + index; }
    QVariant layoutOf(int index, int depth, const QStringList& names) const;
    QVariantMap filtered(const QVariantMap& properties, const QStringList& names) const;
    /// Carries out one event; false when the id names nothing now.
    bool handleEvent(int id, const QString& name);
    void emitLayoutUpdated();

    QDBusConnection bus_;
    std::function<MenuModel()> build_;
    std::function<void(const MenuItem&)> perform_;
    std::function<void(bool)> onOpenChanged_;
    Logger log_;
    std::vector<Entry> entries_;
    std::vector<int> rootChildren_;
    bool built_ = false;
    int firstId_ = 1;  // the id of entries_[0]
    uint revision_ = 0;
    bool exported_ = false;
};

}  // namespace torvel
