#include "BusSignalRecorder.h"

#include <algorithm>

namespace torvel {

BusSignalRecorder::BusSignalRecorder(QDBusConnection bus, const QString& interface) {
    // An empty signal name hears every signal of the interface.
    bus.connect(QString(), QString(), interface, QString(), this, SLOT(record(QDBusMessage)));
}

std::size_t BusSignalRecorder::count(const QString& member) const {
    return static_cast<std::size_t>(std::count_if(heard_.begin(), heard_.end(),
                                                  [&](const QDBusMessage& m) { return m.member() == member; }));
}

void BusSignalRecorder::record(const QDBusMessage& message) {
    heard_.push_back(message);
}

}  // namespace torvel
