#include "Platform/Linux/Power/PolkitSessionAutomation.h"

#include <QDBusArgument>
#include <QStringList>

#include <utility>

#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Linux/Power/PolkitAuthority.h"

namespace torvel {

namespace {

constexpr auto kLogind = "org.freedesktop.login1";
constexpr auto kLogindPath = "/org/freedesktop/login1";
constexpr auto kLogindManager = "org.freedesktop.login1.Manager";
constexpr quint32 kAllowUserInteraction = 1;
constexpr qsizetype kMaxErrorLength = 300;

// Nobody owns the name: polkit is down, and starting it may help.
bool unreachable(const QString& errorName) {
    return errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           errorName == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           errorName == "org.freedesktop.DBus.Error.Disconnected" ||
           errorName == "org.freedesktop.DBus.Error.NoServer";
}

// Somebody owns the name but kept quiet: starting it again would only wait once more.
bool silent(const QString& errorName) {
    return errorName == "org.freedesktop.DBus.Error.NoReply" ||
           errorName == "org.freedesktop.DBus.Error.Timeout";
}

// Worst first: the order in which one of two verdicts decides the pair.
int rank(PermissionStatus status) {
    switch (status) {
        case PermissionStatus::denied:
        case PermissionStatus::notPermitted:
            return 5;
        case PermissionStatus::notRunning:
            return 4;
        case PermissionStatus::noAnswer:
            return 3;
        case PermissionStatus::unreadable:
            return 2;
        case PermissionStatus::notAsked:
            return 1;
        case PermissionStatus::granted:
            return 0;
    }
    return 2;
}

}  // namespace

PolkitSessionAutomation::PolkitSessionAutomation(QDBusConnection system, std::uint32_t ownUID)
    : system_(std::move(system)), ownUID_(ownUID) {}

PermissionStatus PolkitSessionAutomation::statusOf(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (unreachable(reply.errorName())) return PermissionStatus::notRunning;
        return silent(reply.errorName()) ? PermissionStatus::noAnswer : PermissionStatus::unreadable;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "(bba{ss})") return PermissionStatus::unreadable;
    const auto result = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    bool authorized = false, challenge = false;
    result.beginStructure();
    result >> authorized >> challenge;
    // A challenge means "yes, once the user authenticates", whatever the first flag says.
    if (challenge) return PermissionStatus::notAsked;
    return authorized ? PermissionStatus::granted : PermissionStatus::denied;
}

PermissionStatus PolkitSessionAutomation::combine(PermissionStatus a, PermissionStatus b) {
    return rank(b) > rank(a) ? b : a;
}

PermissionStatus PolkitSessionAutomation::check(const char* action, bool askUserIfNeeded) {
    if (!system_.isConnected()) return PermissionStatus::notRunning;
    QDBusMessage message = PolkitAuthority::checkMessage(action);
    QList<QVariant> arguments = message.arguments();
    arguments[3] = QVariant::fromValue(askUserIfNeeded ? kAllowUserInteraction : quint32{0});
    message.setArguments(arguments);
    // A polkit that is down is reported, not started behind our back: launch() is the way to start it.
    message.setAutoStartService(false);
    return statusOf(system_.call(message, QDBus::Block, askUserIfNeeded ? kPromptTimeoutMs : kCallTimeoutMs));
}

std::optional<bool> PolkitSessionAutomation::othersBlockSleep() {
    if (!system_.isConnected()) return std::nullopt;
    const auto inhibitors = inhibitorsFromReply(system_.call(listInhibitorsCall(), QDBus::Block, kCallTimeoutMs));
    if (!inhibitors) return std::nullopt;
    return anotherUserBlocksSleep(*inhibitors, ownUID_);
}

PermissionStatus PolkitSessionAutomation::permissionStatus(bool askUserIfNeeded) {
    const PermissionStatus suspend = check(PolkitAuthority::kSuspendAction, askUserIfNeeded);
    // logind lets our own locks pass a Suspend from us, but another user's lock needs the second
    // grant. When logind cannot list them, the Suspend call itself will fail; no second guess here.
    if ((suspend != PermissionStatus::granted && suspend != PermissionStatus::notAsked) || othersBlockSleep() != true) return suspend;
    return combine(suspend, check(kIgnoreInhibitAction, askUserIfNeeded));
}

void PolkitSessionAutomation::launch() {
    auto message = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "StartServiceByName");
    message << QStringLiteral("org.freedesktop.PolicyKit1") << quint32{0};
    system_.send(message);  // the answer does not matter: the next status read tells
}

Result<void> PolkitSessionAutomation::sleep(bool interactive) {
    if (!system_.isConnected()) return Failure{"no system bus"};
    auto message = QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "Suspend");
    message << interactive;
    // With a user present logind may wait for their password: give them as long as a prompt gets.
    const QDBusMessage reply =
        system_.call(message, QDBus::Block, interactive ? kPromptTimeoutMs : kSuspendTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return {};
    // The text comes from whoever answered on the bus: keep it to a line's length.
    return Failure{(reply.errorName() + ": " + reply.errorMessage()).left(kMaxErrorLength).toStdString()};
}

}  // namespace torvel
