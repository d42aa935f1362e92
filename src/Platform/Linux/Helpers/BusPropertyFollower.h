#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <optional>

#include "Platform/Linux/Helpers/BusService.h"
#include "Support/Signal.h"

namespace torvel {

/// The properties of one interface of one object of a service, kept current without a call per read:
/// one asynchronous GetAll when the follower starts and whenever the service takes its name again,
/// then its PropertiesChanged signals. What was known is forgotten when the service leaves the bus.
///
/// A change that arrives while GetAll is on its way is laid over the answer: the bus may hand over a
/// signal before an answer sent earlier, and the signal is never older than the answer. A change that
/// arrives while nothing is known and nothing asked (an earlier GetAll failed) asks again.
class BusPropertyFollower : public QObject {
    Q_OBJECT

public:
    /// Subscribes to the object's changes and asks for its properties, without waiting. `onChange` runs
    /// whenever properties() changed: an answer, a signal, the service gone. `onFailure` (may be empty)
    /// gets the error reply of a GetAll that failed.
    BusPropertyFollower(BusService& service, QString path, QString interface, std::function<void()> onChange,
                        std::function<void(const QDBusMessage& error)> onFailure = {});
    ~BusPropertyFollower() override;

    /// False when the bus connection could not subscribe to the signals.
    bool subscribed() const { return subscribed_; }
    /// The properties as known; std::nullopt until GetAll answers, after it failed, and while the service
    /// is away.
    const std::optional<QVariantMap>& properties() const { return properties_; }
    /// One property; an invalid QVariant while it is not known.
    QVariant value(const QString& name) const { return properties_ ? properties_->value(name) : QVariant(); }
    /// A GetAll is on its way.
    bool fetching() const { return fetching_; }

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);

private:
    void fetch();
    void answered(const QDBusMessage& reply);
    void ownerChanged(const QString& newOwner);
    void changed();

    BusService& service_;
    QString path_;
    QString interface_;
    std::function<void()> onChange_;
    std::function<void(const QDBusMessage&)> onFailure_;
    bool subscribed_ = false;
    std::optional<QVariantMap> properties_;
    bool fetching_ = false;
    /// Changes heard while GetAll was on its way, laid over its answer.
    QVariantMap changedMeanwhile_;
    QStringList invalidatedMeanwhile_;
    Connection owner_;
};

}  // namespace torvel
