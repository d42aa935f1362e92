#include "Platform/Linux/Desktop/FreedesktopNotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include <algorithm>
#include <string_view>
#include <utility>

namespace torvel {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// A server that hangs must not hold the queue for the bus's default 25 seconds.
constexpr int kCallTimeoutMs = 10000;
// The installed com.torvel.Torvel.desktop, without its suffix: servers group and badge by it.
constexpr const char* kDesktopEntry = "com.torvel.Torvel";
// The server's own expiry policy.
constexpr qint32 kServerDefaultTimeout = -1;

// A click on the notification itself arrives as the freedesktop action key "default".
static_assert(std::string_view(kDefaultNotificationAction) == "default");

// Invalid UTF-8 becomes U+FFFD rather than reaching the bus, which would refuse the message.
QString text(const std::string& value) {
    return QString::fromStdString(value);
}

std::string errorText(const QDBusError& error) {
    return (error.message().isEmpty() ? error.name() : error.message()).toStdString();
}

QDBusMessage serverCall(const char* method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

struct SettingsApp {
    const char* desktop;  // as named in XDG_CURRENT_DESKTOP
    const char* program;
    QStringList arguments;
};

}  // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection session, LogSink& log)
    : bus_(std::move(session)), log_(log, "Notifications") {
    bus_.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(onActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, "NotificationClosed", this,
                 SLOT(onNotificationClosed(uint, uint)));
    auto* watcher = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &FreedesktopNotificationCenter::onServerChanged);
}

void FreedesktopNotificationCenter::requestAuthorization(AuthorizationCompletion completion) {
    whenFinished(bus_.asyncCall(serverCall("GetServerInformation"), kCallTimeoutMs),
                 [this, completion = std::move(completion)](const QDBusPendingCall& call) {
                     QDBusPendingReply<QString, QString, QString, QString> reply = call;
                     if (reply.isError()) {
                         if (completion) completion(false, errorText(reply.error()));
                         return;
                     }
                     log_.info("Notification server {} {} by {}", reply.argumentAt<0>().toStdString(),
                               reply.argumentAt<2>().toStdString(), reply.argumentAt<1>().toStdString());
                     // Granted either way: without capabilities the server still shows plain text.
                     fetchCapabilities([completion](const std::optional<std::string>&) {
                         if (completion) completion(true, std::nullopt);
                     });
                 });
}

void FreedesktopNotificationCenter::setCategories(std::vector<NotificationCategory> categories) {
    categories_ = std::move(categories);
}

void FreedesktopNotificationCenter::add(NotificationRequest request, AddCompletion completion) {
    queue_.push_back({std::move(request), std::move(completion)});
    if (!sending_) sendNext();
}

bool FreedesktopNotificationCenter::openPowerSettings() {
    std::vector<SettingsApp> apps = {
        {"GNOME", "gnome-control-center", {"power"}},
        {"KDE", "systemsettings", {"kcm_powerdevilprofilesconfig"}},
        {"XFCE", "xfce4-power-manager-settings", {}},
        {"X-Cinnamon", "cinnamon-settings", {"power"}},
        {"MATE", "mate-power-preferences", {}},
    };
    // The running desktop's own settings first: another desktop's may be installed beside it.
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts);
    std::stable_partition(apps.begin(), apps.end(), [&](const SettingsApp& app) {
        return desktops.contains(QString(app.desktop), Qt::CaseInsensitive);
    });
    for (const auto& app : apps) {
        const QString path = QStandardPaths::findExecutable(app.program);
        if (path.isEmpty()) continue;
        if (QProcess::startDetached(path, app.arguments)) return true;
        log_.error("Could not start {}", path.toStdString());
    }
    log_.info("No power settings application found");
    return false;
}

void FreedesktopNotificationCenter::onActionInvoked(uint serverId, const QString& actionKey) {
    // The signal goes to every client of the server: ids not ours belong to someone else.
    const auto ours = std::find_if(shown_.begin(), shown_.end(),
                                   [serverId](const auto& entry) { return entry.second == serverId; });
    if (ours == shown_.end() || !handler_) return;
    const std::string identifier = ours->first;
    handler_(identifier, actionKey.toStdString());
}

void FreedesktopNotificationCenter::onNotificationClosed(uint serverId, uint /*reason*/) {
    std::erase_if(shown_, [serverId](const auto& entry) { return entry.second == serverId; });
}

void FreedesktopNotificationCenter::onServerChanged() {
    // Ids and capabilities belonged to the server that left.
    capabilities_.reset();
    shown_.clear();
}

void FreedesktopNotificationCenter::whenFinished(const QDBusPendingCall& call,
                                                 std::function<void(const QDBusPendingCall&)> then) {
    // A call that already failed still finishes on the next turn of the loop, never inside this one.
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [then = std::move(then)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                then(*finished);
            });
}

void FreedesktopNotificationCenter::fetchCapabilities(
    std::function<void(std::optional<std::string> error)> then) {
    whenFinished(bus_.asyncCall(serverCall("GetCapabilities"), kCallTimeoutMs),
                 [this, then = std::move(then)](const QDBusPendingCall& call) {
                     QDBusPendingReply<QStringList> reply = call;
                     if (reply.isError()) {
                         then(errorText(reply.error()));
                         return;
                     }
                     capabilities_ = reply.value();
                     log_.debug("Notification server capabilities: {}",
                                capabilities_->join(' ').toStdString());
                     then(std::nullopt);
                 });
}

void FreedesktopNotificationCenter::sendNext() {
    sending_ = !queue_.empty();
    if (!sending_) return;
    if (capabilities_) {
        notify();
        return;
    }
    fetchCapabilities([this](std::optional<std::string> error) {
        if (error) {
            finish(std::move(error));
        } else {
            notify();
        }
    });
}

void FreedesktopNotificationCenter::notify() {
    const NotificationRequest& request = queue_.front().request;
    QString body = text(request.body);
    // Network and profile names end up in bodies; they must read as text, not as markup.
    if (capabilities_->contains("body-markup")) body = body.toHtmlEscaped();
    QStringList actions;
    const auto category = std::find_if(categories_.begin(), categories_.end(), [&](const auto& known) {
        return request.categoryIdentifier == known.identifier;
    });
    if (category != categories_.end() && capabilities_->contains("actions")) {
        for (const auto& action : category->actions) actions << text(action.identifier) << text(action.title);
    }
    QVariantMap hints = {{"desktop-entry", QString(kDesktopEntry)}};
    if (request.playsSound) {
        hints.insert("sound-name", QString("message-new-instant"));
    } else {
        hints.insert("suppress-sound", true);
    }
    // The protocol's byte 2; left out otherwise, so the server's default (normal) applies as before.
    if (request.urgency == NotificationUrgency::critical)
        hints.insert("urgency", QVariant::fromValue(uchar{2}));
    const auto earlier = shown_.find(request.identifier);
    const uint replacesId = earlier == shown_.end() ? 0U : earlier->second;

    QDBusMessage message = serverCall("Notify");
    message << QString("Torvel") << replacesId << QString("torvel") << text(request.title) << body << actions
            << hints << kServerDefaultTimeout;
    whenFinished(bus_.asyncCall(message, kCallTimeoutMs), [this](const QDBusPendingCall& call) {
        QDBusPendingReply<uint> reply = call;
        if (reply.isError()) {
            finish(errorText(reply.error()));
            return;
        }
        shown_[queue_.front().request.identifier] = reply.value();
        finish(std::nullopt);
    });
}

void FreedesktopNotificationCenter::finish(std::optional<std::string> error) {
    Pending done = std::move(queue_.front());
    queue_.pop_front();
    if (done.completion) done.completion(std::move(error));
    sendNext();
}

}  // namespace torvel
