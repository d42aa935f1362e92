#include "Platform/Linux/Power/LogindInhibitors.h"

#include <QDBusArgument>
#include <QStringList>

#include <algorithm>

namespace torvel {

QDBusMessage listInhibitorsCall() {
    return QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                          "org.freedesktop.login1.Manager", "ListInhibitors");
}

std::optional<std::vector<LogindInhibitor>> inhibitorsFromReply(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "a(ssssuu)") return std::nullopt;
    std::vector<LogindInhibitor> inhibitors;
    const auto list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        LogindInhibitor entry;
        list.beginStructure();
        list >> entry.what >> entry.who >> entry.why >> entry.mode >> entry.uid >> entry.pid;
        list.endStructure();
        inhibitors.push_back(std::move(entry));
    }
    list.endArray();
    return inhibitors;
}

bool anotherUserBlocksSleep(const std::vector<LogindInhibitor>& inhibitors, std::uint32_t ownUID) {
    return std::any_of(inhibitors.begin(), inhibitors.end(), [ownUID](const LogindInhibitor& entry) {
        return entry.mode == QStringLiteral("block") && entry.uid != ownUID &&
               entry.what.split(':').contains(QStringLiteral("sleep"));
    });
}

}  // namespace torvel
