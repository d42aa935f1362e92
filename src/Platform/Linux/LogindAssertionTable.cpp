#include "Platform/Linux/LogindAssertionTable.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QStringList>

#include <utility>

namespace torvel {

namespace {

constexpr std::uint32_t kLevelOn = 255;

std::string assertionType(const QString& what) {
    if (what == "sleep") return "PreventSystemSleep";
    if (what == "idle") return "PreventUserIdleSystemSleep";
    return what.toStdString();
}

}  // namespace

LogindAssertionTable::LogindAssertionTable(QDBusConnection system) : system_(std::move(system)) {}

std::optional<std::vector<AssertionRecord>> LogindAssertionTable::read(std::string* error) {
    const auto fail = [&](const QString& why) -> std::optional<std::vector<AssertionRecord>> {
        if (error) *error = why.toStdString();
        return std::nullopt;
    };
    if (!system_.isConnected()) return fail("no system bus");
    const auto call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                     "org.freedesktop.login1.Manager", "ListInhibitors");
    const QDBusMessage reply = system_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) return fail(reply.errorName() + ": " + reply.errorMessage());
    if (reply.signature() != "a(ssssuu)") return fail("unexpected reply " + reply.signature());

    std::vector<AssertionRecord> records;
    const auto list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        std::uint32_t uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        const std::uint32_t level = mode == "block" ? kLevelOn : 0;
        QString reason = who.isEmpty() ? why : why.isEmpty() ? who : who + ": " + why;
        for (const QString& kind : what.split(':', Qt::SkipEmptyParts))
            records.push_back(AssertionRecord{pid, assertionType(kind), level, reason.toStdString()});
    }
    list.endArray();
    return records;
}

}  // namespace torvel
