// Whether, and on which connection, the icon is offered: withdrawn while a shell extension shows Torvel
// in the desktop's own panel.
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>

#include "Tray/ActivationToken.h"
#include "Tray/DBusMenuExporter.h"
#include "Tray/StatusNotifierItem.h"
#include "Tray/TrayController.h"

namespace torvel {

TrayBusOpener TrayController::sessionBusOpener() {
    return [](const QString& connectionName) {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    };
}

bool TrayController::start() {
    if (!bus_.isConnected()) {
        // Nobody can say whether the shell shows Torvel: the icon is offered, if it can be.
        extensionShows_ = false;
        offer();
        refresh();
        choose();
        return false;
    }
    followXEmbedHelper();
    // Nothing is offered before the first answer, so no icon flashes up beside the shell's own.
    followShellExtension();
    refresh();
    choose();
    return true;
}

void TrayController::followShellExtension() {
    extensionWatcher_ = std::make_unique<QDBusServiceWatcher>(kShellExtensionService, bus_,
                                                              QDBusServiceWatcher::WatchForOwnerChange);
    connect(extensionWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                setExtensionShows(!owner.isEmpty());
            });
    auto call = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "NameHasOwner");
    call << QString(kShellExtensionService);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        // The bus sends its answers and signals in order: whichever arrives last is the newest.
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "b") {
            setExtensionShows(reply.arguments().at(0).toBool());
        } else if (!extensionShows_) {
            log_.info("The bus did not say whether the shell extension shows Torvel; offering the icon");
            setExtensionShows(false);
        }
    });
}

void TrayController::setExtensionShows(bool shows) {
    if (extensionShows_ == shows) return;
    extensionShows_ = shows;
    if (shows) {
        withdraw();
    } else {
        offer();
    }
    refresh();
    choose();
}

void TrayController::offer() {
    if (itemBus_) return;
    const unsigned offer = ++offers_;
    itemBus_ = openItemBus_(QString("torvel-tray-%1").arg(offer));
    itemAnswered_ = false;
    // A helper started for an earlier offer found no item and ended.
    xembedStarting_ = false;
    bool offered = itemBus_->isConnected();
    if (offered) {
        // Asked before the item registers, so the name is the connection's before any watcher answers
        // and the XEmbed helper, started on such an answer, looks for it.
        auto claim = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "RequestName");
        constexpr uint kDoNotQueue = 4;
        claim << QString(kItemService) << kDoNotQueue;
        auto* pending = new QDBusPendingCallWatcher(itemBus_->asyncCall(claim), this);
        connect(
            pending, &QDBusPendingCallWatcher::finished, this, [this, offer](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusMessage reply = done->reply();
                constexpr uint kPrimaryOwner = 1;
                const bool owned = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "u" &&
                                   reply.arguments().at(0).toUInt() == kPrimaryOwner;
                if (offer == offers_ && !owned)
                    log_.error("Cannot take {} on the session bus: an XEmbed tray cannot show the icon",
                               kItemService);
            });
        menu_ = std::make_unique<DBusMenuExporter>(*itemBus_, functions_.buildMenu, functions_.perform,
                                                   iconThemeFolder_, sink_);
        connections_.push_back(menu_->openChanged.connect([this](bool open) { holdSeconds(open); }));
        connections_.push_back(menu_->opening.connect([this] {
            if (functions_.menuWillOpen) functions_.menuWillOpen();
        }));
        item_ = std::make_unique<StatusNotifierItem>(*itemBus_, iconThemeFolder_, sink_);
        connections_.push_back(item_->activated.connect([this] {
            if (functions_.toggle) functions_.toggle();
        }));
        connections_.push_back(item_->activationToken.connect([this](const std::string& token) {
            if (!setPendingActivationToken(token))
                log_.info("The tray host's activation token was malformed; dropped");
        }));
        connections_.push_back(item_->registration.connect([this](bool) {
            itemAnswered_ = true;
            choose();
        }));
        offered = menu_->exportOn() && item_->start();
    } else {
        log_.error("Cannot open a session bus connection for the tray icon");
    }
    if (!offered) {
        // Without the bus no tray can show the icon: the XEmbed helper reads it from the bus too.
        withdraw();
        itemAnswered_ = true;
    }
    QTimer::singleShot(kGraceMs, this, [this, offer] {
        if (offer != offers_ || host_ != Host::none || told_) return;
        told_ = true;
        log_.info("No tray shows Torvel's icon; it appears once a tray starts");
        if (functions_.tellNoTray) functions_.tellNoTray();
    });
}

void TrayController::withdraw() {
    connections_.clear();
    item_.reset();
    menu_.reset();
    seconds_.reset();
    itemAnswered_ = false;
    if (!itemBus_) return;
    // The last reference goes first, so that the connection really closes: watchers forget the item
    // only then, and the XEmbed helper ends as kItemService leaves the bus.
    const QString name = itemBus_->name();
    itemBus_.reset();
    QDBusConnection::disconnectFromBus(name);
}

}  // namespace torvel
