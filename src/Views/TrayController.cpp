#include "Views/TrayController.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include "Tray/DBusMenuExporter.h"
#include "Tray/StatusNotifierItem.h"
#include "Views/ActivationToken.h"
#include "Views/XEmbedTray.h"

namespace torvel {

TrayController::TrayController(TrayFunctions functions, TimerManager& timer, QDBusConnection bus,
                               std::filesystem::path iconThemeFolder, LogSink& log)
    : functions_(std::move(functions)),
      timer_(timer),
      bus_(std::move(bus)),
      iconThemeFolder_(std::move(iconThemeFolder)),
      sink_(log),
      log_(log, "Tray") {}

TrayController::~TrayController() {
    timer_.setShownText(TimerManager::ShownText::nothing);
}

bool TrayController::start() {
    menu_ = std::make_unique<DBusMenuExporter>(bus_, functions_.buildMenu, functions_.perform, iconThemeFolder_,
                                               sink_);
    connections_.push_back(menu_->openChanged.connect([this](bool open) { holdSeconds(open); }));
    connections_.push_back(menu_->opening.connect([this] {
        if (functions_.menuWillOpen) functions_.menuWillOpen();
    }));
    item_ = std::make_unique<StatusNotifierItem>(bus_, iconThemeFolder_, sink_);
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
    const bool offered = menu_->exportOn() && item_->start();
    if (!offered) {
        // Without the bus only an XEmbed tray can show the icon.
        itemAnswered_ = true;
        item_.reset();
    }
    refresh();
    choose();
    QTimer::singleShot(kGraceMs, this, [this] {
        if (host_ != Host::none || told_) return;
        told_ = true;
        log_.info("No tray shows Torvel's icon; it appears once a tray starts");
        if (functions_.tellNoTray) functions_.tellNoTray();
    });
    return offered;
}

void TrayController::choose() {
    const Host before = host_;
    if (item_ && item_->isRegistered()) {
        // Qt's own tray icon would offer a second StatusNotifierItem beside ours.
        xembed_.reset();
        host_ = Host::statusNotifier;
    } else if (itemAnswered_ && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (!xembed_) {
            // The classic tray builds its menu only as it opens.
            auto buildForOpening = [this] {
                if (functions_.menuWillOpen) functions_.menuWillOpen();
                return functions_.buildMenu ? functions_.buildMenu() : MenuModel();
            };
            xembed_ = std::make_unique<XEmbedTray>(buildForOpening, functions_.perform, functions_.toggle,
                                                   iconThemeFolder_);
            xembedMenuOpen_ = xembed_->menuOpenChanged.connect([this](bool open) { holdSeconds(open); });
            if (functions_.present) xembed_->setPresentation(functions_.present());
            xembed_->show();
        }
        host_ = QSystemTrayIcon::isSystemTrayAvailable() ? Host::xembed : Host::none;
    } else {
        host_ = Host::none;
    }
    if (host_ != before) {
        // A menu open in the old host is gone with it.
        seconds_.reset();
        log_.info("Tray icon shown {}", host_ == Host::statusNotifier ? "as a StatusNotifierItem"
                                        : host_ == Host::xembed      ? "in the XEmbed tray"
                                                                     : "nowhere (no tray)");
    }
    updateShownText();
    offerOnboarding();
}

void TrayController::refresh() {
    if (!functions_.present) return;
    const StatusItemPresentation presentation = functions_.present();
    if (item_) item_->setPresentation(presentation);
    if (xembed_) xembed_->setPresentation(presentation);
    // A panel sizes the menu from the copy it holds when it opens it: that copy must be current. The
    // classic tray's menu is built as it opens.
    if (menu_ && host_ == Host::statusNotifier) menu_->menuMayHaveChanged();
    updateShownText();
}

bool TrayController::show() {
    const bool shown = host_ != Host::none;
    if (item_) item_->registerWithWatcher();
    choose();
    if (host_ == Host::none && functions_.tellNoTray) functions_.tellNoTray();
    return shown || host_ != Host::none;
}

void TrayController::offerOnboarding() {
    if (onboardingOffered_ || host_ == Host::none || !functions_.showOnboarding) return;
    onboardingOffered_ = true;
    TrayHostPlace place;
    if (host_ == Host::xembed) {
        place.kind = TrayHostPlace::Kind::xembed;
        QPointer<XEmbedTray> tray(xembed_.get());
        place.iconArea = [tray] { return tray ? tray->iconGeometry() : QRect(); };
    }
    functions_.showOnboarding(place);
}

void TrayController::holdSeconds(bool open) {
    if (open) {
        seconds_ = timer_.showSeconds();
    } else {
        seconds_.reset();
    }
}

void TrayController::updateShownText() {
    // The label and the tooltip's title show the remaining minutes; both are handed to the host
    // beforehand, so they are kept current while a host shows the icon.
    const bool label = host_ != Host::none && functions_.labelShowsTime && functions_.labelShowsTime();
    timer_.setShownText(label ? TimerManager::ShownText::minutes : TimerManager::ShownText::nothing);
}

}  // namespace torvel
