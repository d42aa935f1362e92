#pragma once

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Log.h"

class QObject;

namespace torvel {

/// logind's inhibitor list, asked for asynchronously and kept, so that "is our inhibitor still there?"
/// never waits on logind: it is answered from the last list while a fresh one is on its way.
class LogindInhibitorListing {
public:
    /// What the last list says of an inhibitor.
    enum class Answer { unknown, listed, missing };

    LogindInhibitorListing(QDBusConnection system, LogSink& log);
    /// Drops any request still out: its answer is never delivered.
    ~LogindInhibitorListing();
    LogindInhibitorListing(const LogindInhibitorListing&) = delete;
    LogindInhibitorListing& operator=(const LogindInhibitorListing&) = delete;

    /// Asks logind for a fresh list, unless a request is already out.
    void refresh();
    /// Whether a request is out.
    bool pending() const { return pending_; }
    /// Requests sent so far. A list speaks for an inhibitor only when it answers a later request, so
    /// stamp each inhibitor with this when it is taken.
    std::uint64_t requestsSent() const { return sent_; }
    /// Whether this process holds a "block" inhibitor of `what` (a colon list, in any order) for `why`,
    /// as told by an answer to a request after `takenAt`. Unknown when no such answer has come or
    /// logind could not be asked.
    Answer find(const QString& what, const QString& who, const QString& why, std::uint64_t takenAt) const;

private:
    void answered(std::uint64_t serial, const QDBusMessage& reply);

    QDBusConnection system_;
    Logger log_;
    std::unique_ptr<QObject> context_;  // parent of the pending calls: they die with us
    std::vector<LogindInhibitor> inhibitors_;
    std::uint64_t sent_ = 0, answeredSerial_ = 0;
    bool pending_ = false, lastFailed_ = false;
};

}  // namespace torvel
