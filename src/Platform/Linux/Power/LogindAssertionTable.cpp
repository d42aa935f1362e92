#include "Platform/Linux/Power/LogindAssertionTable.h"

#include <QDBusMessage>
#include <QStringList>

#include <utility>

#include "Platform/Linux/Power/LogindInhibitors.h"

namespace torvel {

namespace {

BlockerKind kindOf(const QString& what) {
    if (what == "sleep") return BlockerKind::systemSleep;
    if (what == "idle") return BlockerKind::idle;
    return BlockerKind::other;
}

}  // namespace

LogindAssertionTable::LogindAssertionTable(QDBusConnection system) : system_(std::move(system)) {}

Result<std::vector<AssertionRecord>> LogindAssertionTable::read() {
    const auto fail = [](const QString& why) { return Failure{why.toStdString()}; };
    if (!system_.isConnected()) return fail("no system bus");
    const QDBusMessage reply = system_.call(listInhibitorsCall(), QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) return fail(reply.errorName() + ": " + reply.errorMessage());
    const auto inhibitors = inhibitorsFromReply(reply);
    if (!inhibitors) return fail("unexpected reply " + reply.signature());

    std::vector<AssertionRecord> records;
    for (const LogindInhibitor& entry : *inhibitors) {
        const bool blocking = entry.mode == "block";
        const QString reason = entry.who.isEmpty()   ? entry.why
                               : entry.why.isEmpty() ? entry.who
                                                     : entry.who + ": " + entry.why;
        for (const QString& kind : entry.what.split(':', Qt::SkipEmptyParts))
            records.push_back(AssertionRecord{entry.pid, kindOf(kind), blocking, reason.toStdString()});
    }
    return records;
}

}  // namespace torvel
