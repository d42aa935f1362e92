#include "Platform/Linux/Power/PolkitAuthority.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>

#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace torvel {

namespace {

constexpr int kCallTimeoutMs = 5000;
constexpr std::array<const char*, 4> kActions = {
    PolkitAuthority::kLidSwitchAction, PolkitAuthority::kHoldProfileAction,
    PolkitAuthority::kHoldProfileNewAction, PolkitAuthority::kSuspendAction};

// This process's start time in clock ticks since boot (field 22 of /proc/self/stat), which polkit
// pairs with the pid so that a recycled pid is never mistaken for us; 0 when it cannot be read.
quint64 processStartTime() {
    std::ifstream file("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && (fields >> field); ++i) {
        if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
    }
    return 0;
}

std::optional<PowerGrants> combine(const std::array<std::optional<bool>, 4>& answers) {
    bool any = false;
    for (const auto& a : answers) any = any || a.has_value();
    if (!any) return std::nullopt;
    // polkit refuses to judge an action nobody registered: where neither name of the hold action is
    // known, power-profiles-daemon is not installed and there is no power saver to grant.
    const bool saverAbsent = !answers[1] && !answers[2];
    return PowerGrants{answers[0].value_or(false), answers[1].value_or(false) || answers[2].value_or(false),
                       answers[3].value_or(false), saverAbsent};
}

}  // namespace

PolkitAuthority::PolkitAuthority(QDBusConnection system)
    : system_(std::move(system)), context_(std::make_unique<QObject>()) {}

PolkitAuthority::~PolkitAuthority() = default;

QDBusMessage PolkitAuthority::checkMessage(const char* action) {
    auto message =
        QDBusMessage::createMethodCall("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                       "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    const std::pair<const char*, QVariant> details[] = {
        {"pid", QVariant::fromValue(static_cast<quint32>(::getpid()))},
        {"start-time", QVariant::fromValue(processStartTime())},
        {"uid", QVariant::fromValue(static_cast<qint32>(::getuid()))},
    };
    for (const auto& [key, value] : details) {
        subject.beginMapEntry();
        subject << QString(key) << QDBusVariant(value);
        subject.endMapEntry();
    }
    subject.endMap();
    subject.endStructure();
    QDBusArgument noDetails;
    noDetails.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    noDetails.endMap();
    message << QVariant::fromValue(subject) << QString(action) << QVariant::fromValue(noDetails)
            << static_cast<quint32>(0) << QString();
    return message;
}

std::optional<bool> PolkitAuthority::granted(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "(bba{ss})") return std::nullopt;
    const auto result = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    bool authorized = false, challenge = false;
    result.beginStructure();
    result >> authorized >> challenge;
    return authorized && !challenge;
}

void PolkitAuthority::checkGrants(std::function<void(std::optional<PowerGrants>)> done) {
    struct Round {
        std::array<std::optional<bool>, 4> answers;
        std::size_t left = kActions.size();
        std::function<void(std::optional<PowerGrants>)> done;
    };
    auto round = std::make_shared<Round>();
    round->done = std::move(done);
    for (std::size_t i = 0; i < kActions.size(); ++i) {
        auto* call = new QDBusPendingCallWatcher(system_.asyncCall(checkMessage(kActions[i]), kCallTimeoutMs),
                                                 context_.get());
        QObject::connect(call, &QDBusPendingCallWatcher::finished, context_.get(),
                         [round, i](QDBusPendingCallWatcher* answer) {
                             answer->deleteLater();
                             round->answers[i] = granted(answer->reply());
                             if (--round->left == 0) round->done(combine(round->answers));
                         });
    }
}

std::optional<PowerGrants> PolkitAuthority::checkGrantsNow() {
    std::array<std::optional<bool>, 4> answers;
    for (std::size_t i = 0; i < kActions.size(); ++i)
        answers[i] = granted(system_.call(checkMessage(kActions[i]), QDBus::Block, kCallTimeoutMs));
    return combine(answers);
}

}  // namespace torvel
