#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <vector>

namespace torvel {

/// Hears the signals of one interface on a bus, from any sender and path, as a panel host hears them.
class BusSignalRecorder : public QObject {
    Q_OBJECT
public:
    BusSignalRecorder(QDBusConnection bus, const QString& interface);

    /// The signals heard so far, in order.
    const std::vector<QDBusMessage>& heard() const { return heard_; }
    /// How many signals named `member` were heard.
    std::size_t count(const QString& member) const;
    void clear() { heard_.clear(); }

public Q_SLOTS:
    void record(const QDBusMessage& message);

private:
    std::vector<QDBusMessage> heard_;
};

}  // namespace torvel
