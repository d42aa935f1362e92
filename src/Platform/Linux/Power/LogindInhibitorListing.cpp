#include "Platform/Linux/Power/LogindInhibitorListing.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QStringList>

#include <unistd.h>

#include <algorithm>
#include <utility>

namespace torvel {

namespace {

// logind lists the kinds in its own order ("sleep:idle" for a request of "idle:sleep").
bool sameWhat(const QString& a, const QString& b) {
    QStringList left = a.split(':'), right = b.split(':');
    left.sort();
    right.sort();
    return left == right;
}

}  // namespace

LogindInhibitorListing::LogindInhibitorListing(QDBusConnection system, LogSink& log)
    : system_(std::move(system)), log_(log, "PowerAssertions"), context_(std::make_unique<QObject>()) {}

LogindInhibitorListing::~LogindInhibitorListing() = default;

void LogindInhibitorListing::refresh() {
    if (pending_ || !system_.isConnected()) return;
    pending_ = true;
    const std::uint64_t serial = ++sent_;
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(listInhibitorsCall(), 5000), context_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                     [this, serial](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         answered(serial, done->reply());
                     });
}

void LogindInhibitorListing::answered(std::uint64_t serial, const QDBusMessage& reply) {
    pending_ = false;
    answeredSerial_ = serial;
    // Whatever logind answers is checked before it is believed; a bad answer counts as no answer.
    auto inhibitors = inhibitorsFromReply(reply);
    lastFailed_ = !inhibitors;
    inhibitors_ = std::move(inhibitors).value_or(std::vector<LogindInhibitor>{});
    if (lastFailed_)
        log_.info("logind's inhibitor list could not be read ({}); trusting what is held",
                  reply.errorName().toStdString());
}

LogindInhibitorListing::Answer LogindInhibitorListing::find(const QString& what, const QString& who,
                                                            const QString& why, std::uint64_t takenAt) const {
    if (answeredSerial_ <= takenAt || lastFailed_) return Answer::unknown;
    // Another process's inhibitor with the same words is not ours: the pid says whose it is, and the
    // uid only where logind names no process.
    const auto pid = static_cast<std::uint32_t>(::getpid());
    const auto uid = static_cast<std::uint32_t>(::getuid());
    const bool listed = std::any_of(inhibitors_.begin(), inhibitors_.end(), [&](const LogindInhibitor& entry) {
        const bool ours = entry.pid == pid || (entry.pid == 0 && entry.uid == uid);
        return ours && entry.who == who && entry.why == why && entry.mode == "block" &&
               sameWhat(entry.what, what);
    });
    return listed ? Answer::listed : Answer::missing;
}

}  // namespace torvel
