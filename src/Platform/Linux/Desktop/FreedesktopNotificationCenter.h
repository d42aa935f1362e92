#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

class QDBusPendingCall;

namespace torvel {

/// Notifications through the desktop's org.freedesktop.Notifications server. A server that answers
/// means notifications are allowed; none means they are not. Buttons need the server's "actions"
/// capability, and bodies are escaped when the server reads them as markup. The freedesktop protocol
/// has no counterpart for destructive or foreground buttons: they show as plain buttons.
class FreedesktopNotificationCenter : public QObject, public NotificationCenter {
    Q_OBJECT

public:
    FreedesktopNotificationCenter(QDBusConnection session, LogSink& log);

    void requestAuthorization(AuthorizationCompletion completion) override;
    void setCategories(std::vector<NotificationCategory> categories) override;
    void add(NotificationRequest request, AddCompletion completion) override;
    void setResponseHandler(ResponseHandler handler) override { handler_ = std::move(handler); }
    bool openPowerSettings() override;

private Q_SLOTS:
    void onActionInvoked(uint serverId, const QString& actionKey);
    void onNotificationClosed(uint serverId, uint reason);
    void onServerChanged();

private:
    struct Pending {
        NotificationRequest request;
        AddCompletion completion;
    };

    /// Runs `then` with the reply once `call` finishes, on the main loop.
    void whenFinished(const QDBusPendingCall& call, std::function<void(const QDBusPendingCall&)> then);
    void fetchCapabilities(std::function<void(std::optional<std::string> error)> then);
    void sendNext();
    /// Sends the first queued request; the capabilities are known.
    void notify();
    /// Takes the first queued request off, completes it and goes on with the next.
    void finish(std::optional<std::string> error);

    QDBusConnection bus_;
    Logger log_;
    ResponseHandler handler_;
    std::vector<NotificationCategory> categories_;
    // Unknown until the server told us; forgotten when another server takes over.
    std::optional<QStringList> capabilities_;
    // The server's id of each notification of ours still shown, so a new one replaces it.
    std::map<std::string, std::uint32_t> shown_;
    // One Notify at a time, so a second request of an identifier sees the id the first one got.
    std::deque<Pending> queue_;
    bool sending_ = false;
};

}  // namespace torvel
