#include "Tray/TrayController.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <cstdlib>

#include "Tray/DBusMenuExporter.h"
#include "Tray/StatusNotifierItem.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"

namespace torvel {
namespace {

/// Whether an X server is there for an XEmbed tray to run on.
bool xDisplayExists() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

/// The XEmbed helper: beside this program in the build tree, in the libexec folder once installed.
QString xembedHelperProgram() {
    return QString::fromStdString(helperProgram(TrayController::kXEmbedProgram).string());
}

}  // namespace

TrayController::TrayController(TrayFunctions functions, TimerManager& timer, QDBusConnection bus,
                               TrayBusOpener openItemBus, std::filesystem::path iconThemeFolder, LogSink& log)
    : functions_(std::move(functions)),
      timer_(timer),
      bus_(std::move(bus)),
      openItemBus_(openItemBus ? std::move(openItemBus) : sessionBusOpener()),
      iconThemeFolder_(std::move(iconThemeFolder)),
      sink_(log),
      log_(log, "Tray") {}

TrayController::~TrayController() {
    withdraw();
    timer_.setShownText(TimerManager::ShownText::nothing);
}

void TrayController::choose(bool mayStartHelper) {
    const Host before = host_;
    if (extensionShows_ == true) {
        host_ = Host::shellExtension;
    } else if (item_ && item_->isRegistered()) {
        // The XEmbed helper, if one runs, ends by itself once the watcher says a host is there; a
        // watcher that does not say so is told here, or the icon would show twice.
        if (xembedOnBus_ && before != Host::statusNotifier) {
            auto call = QDBusMessage::createMethodCall(kXEmbedService, kXEmbedPath, kXEmbedInterface, "Quit");
            call.setAutoStartService(false);
            // From the item's connection: the helper takes Quit only from the owner of the item it shows.
            itemBus_->asyncCall(call);
        }
        host_ = Host::statusNotifier;
    } else if (item_ && itemAnswered_ && xDisplayExists()) {
        if (mayStartHelper && !xembedOnBus_ && !xembedStarting_) startXEmbedHelper();
        // The icon shows once the helper's tray has docked it; until then no tray shows it.
        host_ = xembedOnBus_ && xembedPlace_ ? Host::xembed : Host::none;
    } else {
        host_ = Host::none;
    }
    if (host_ != before) {
        // A menu open in the old host is gone with it.
        seconds_.reset();
        if (host_ == Host::shellExtension)
            log_.info("Tray icon withdrawn: Torvel is shown by the GNOME Shell extension");
        else
            log_.info("Tray icon shown {}", host_ == Host::statusNotifier ? "as a StatusNotifierItem"
                                            : host_ == Host::xembed      ? "in the XEmbed tray"
                                                                         : "nowhere (no tray)");
    }
    updateShownText();
    offerOnboarding();
}

void TrayController::followXEmbedHelper() {
    xembedWatcher_ =
        std::make_unique<QDBusServiceWatcher>(kXEmbedService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    connect(xembedWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                xembedOnBus_ = !owner.isEmpty();
                xembedStarting_ = false;
                if (!xembedOnBus_) {
                    xembedPlace_.reset();
                    log_.info("The XEmbed tray helper ended");
                }
                // Not started again here: it ends when a StatusNotifier host appears, and one that
                // fails would be started over and over. A watcher's answer or show() starts it again.
                choose(false);
            });
    // Only the helper's own connection can send as its name: the bus fills in the sender.
    bus_.connect(kXEmbedService, kXEmbedPath, kXEmbedInterface, "IconPlaced", this,
                 SLOT(onXEmbedIconPlaced(QDBusMessage)));
    // A helper left running (by an instance that just ended) is taken as it is.
    auto call = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "NameHasOwner");
    call << QString(kXEmbedService);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "b" &&
            reply.arguments().at(0).toBool())
            xembedOnBus_ = true;
    });
}

void TrayController::startXEmbedHelper() {
    const QString program = xembedHelperProgram();
    qint64 pid = 0;
    if (program.isEmpty() || !QProcess::startDetached(program, {}, {}, &pid)) {
        log_.error("The XEmbed tray helper {} cannot be started{}", kXEmbedProgram,
                   program.isEmpty() ? " (not found beside torvel or in its libexec folder)" : "");
        return;
    }
    xembedStarting_ = true;
    log_.info("No StatusNotifier host took the icon: started the XEmbed tray helper (pid {})", pid);
}

void TrayController::onXEmbedIconPlaced(const QDBusMessage& message) {
    if (message.signature() != "iiii") return;
    const auto args = message.arguments();
    const int x = args[0].toInt(), y = args[1].toInt(), width = args[2].toInt(), height = args[3].toInt();
    // A tray icon is small; a screen is not larger than this either way.
    constexpr int kLimit = 1 << 16;
    const bool docked = width > 0 && height > 0 && width <= 1024 && height <= 1024 && std::abs(x) < kLimit &&
                        std::abs(y) < kLimit;
    if (!docked && (width != 0 || height != 0)) {
        log_.info("The XEmbed tray helper told an impossible place ({}x{}); ignored", width, height);
        return;
    }
    if (docked) {
        xembedPlace_ = QRect(x, y, width, height);
    } else {
        xembedPlace_.reset();
    }
    choose(false);
}

void TrayController::refresh() {
    if (!functions_.present) return;
    const StatusItemPresentation presentation = functions_.present();
    if (item_) item_->setPresentation(presentation);
    // A panel sizes the menu from the copy it holds when it opens it: that copy must be current. The
    // XEmbed helper reads the menu as it opens, and again on a change while it is open.
    if (menu_ && (host_ != Host::none || xembedOnBus_)) menu_->menuMayHaveChanged();
    updateShownText();
}

bool TrayController::show() {
    // Before the bus said whether the shell's panel shows Torvel, nothing is offered yet.
    if (!extensionShows_) return false;
    if (*extensionShows_) return true;
    const bool shown = host_ != Host::none;
    // A helper that never came up may be started again.
    xembedStarting_ = false;
    if (item_) item_->registerWithWatcher();
    choose();
    if (host_ == Host::none && functions_.tellNoTray) functions_.tellNoTray();
    return shown || host_ != Host::none;
}

void TrayController::offerOnboarding() {
    // Offered once a host shows the icon; an XEmbed icon that moves afterwards is offered again, so
    // that a hint beside it follows it.
    const bool moved = onboardingOffered_ && host_ == Host::xembed;
    // The hint points at a tray icon: while the shell extension shows Torvel it stays due for later.
    if ((onboardingOffered_ && !moved) || host_ == Host::none || host_ == Host::shellExtension ||
        !functions_.showOnboarding)
        return;
    onboardingOffered_ = true;
    TrayHostPlace place;
    if (host_ == Host::xembed) {
        place.kind = TrayHostPlace::Kind::xembed;
        // Where the helper last said the tray docked the icon.
        QPointer<TrayController> self(this);
        place.iconArea = [self] { return self && self->xembedPlace_ ? *self->xembedPlace_ : QRect(); };
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
    // beforehand, so they are kept current while a host shows the icon. The shell extension reads
    // RemainingText from the resident's properties, which change only when the countdown wakes.
    const bool label = host_ != Host::none && functions_.labelShowsTime && functions_.labelShowsTime();
    timer_.setShownText(label ? TimerManager::ShownText::minutes : TimerManager::ShownText::nothing);
}

}  // namespace torvel
