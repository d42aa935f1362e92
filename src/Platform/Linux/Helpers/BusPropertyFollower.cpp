#include "Platform/Linux/Helpers/BusPropertyFollower.h"

#include <QDBusArgument>

#include <utility>

namespace torvel {

namespace {

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// The a{sv} at `index` of a message, or std::nullopt when the sender put something else there.
std::optional<QVariantMap> propertyMap(const QList<QVariant>& arguments, qsizetype index) {
    if (arguments.size() <= index || arguments.at(index).userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const auto argument = arguments.at(index).value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::MapType) return std::nullopt;
    return qdbus_cast<QVariantMap>(argument);
}

}  // namespace

BusPropertyFollower::BusPropertyFollower(BusService& service, QString path, QString interface,
                                         std::function<void()> onChange,
                                         std::function<void(const QDBusMessage& error)> onFailure)
    : service_(service),
      path_(std::move(path)),
      interface_(std::move(interface)),
      onChange_(std::move(onChange)),
      onFailure_(std::move(onFailure)) {
    if (!service_.bus().isConnected()) return;
    // Subscribed first, so that no change between the subscription and the answer is missed; the bus
    // sends only the changes of this interface.
    QDBusConnection bus = service_.bus();
    subscribed_ = bus.connect(service_.name(), path_, kPropertiesInterface, "PropertiesChanged", {interface_},
                              QString(), this, SLOT(onPropertiesChanged(QDBusMessage)));
    owner_ = service_.ownerChanged.connect([this](const QString& newOwner) { ownerChanged(newOwner); });
    fetch();
}

BusPropertyFollower::~BusPropertyFollower() {
    if (!subscribed_) return;
    QDBusConnection bus = service_.bus();
    bus.disconnect(service_.name(), path_, kPropertiesInterface, "PropertiesChanged", {interface_}, QString(),
                   this, SLOT(onPropertiesChanged(QDBusMessage)));
}

void BusPropertyFollower::fetch() {
    auto call = QDBusMessage::createMethodCall(service_.name(), path_, kPropertiesInterface, "GetAll");
    call << interface_;
    fetching_ = true;
    changedMeanwhile_.clear();
    invalidatedMeanwhile_.clear();
    // Dropped by the service when it changes owner meanwhile: the new one is asked afresh.
    service_.ask(call, this, [this](const QDBusMessage& reply) { answered(reply); });
}

void BusPropertyFollower::answered(const QDBusMessage& reply) {
    fetching_ = false;
    auto properties = reply.type() == QDBusMessage::ReplyMessage ? propertyMap(reply.arguments(), 0)
                                                                 : std::nullopt;
    if (!properties) {
        if (onFailure_) onFailure_(reply);
        return;
    }
    for (auto it = changedMeanwhile_.cbegin(); it != changedMeanwhile_.cend(); ++it)
        properties->insert(it.key(), it.value());
    for (const QString& name : std::as_const(invalidatedMeanwhile_)) properties->remove(name);
    changedMeanwhile_.clear();
    invalidatedMeanwhile_.clear();
    properties_ = std::move(properties);
    changed();
}

void BusPropertyFollower::onPropertiesChanged(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    if (arguments.value(0).toString() != interface_ || message.path() != path_) return;
    const auto changes = propertyMap(arguments, 1);
    if (!changes) return;
    const QStringList invalidated = arguments.value(2).toStringList();
    if (!properties_) {
        if (fetching_) {
            for (auto it = changes->cbegin(); it != changes->cend(); ++it) {
                changedMeanwhile_.insert(it.key(), it.value());
                invalidatedMeanwhile_.removeAll(it.key());
            }
            for (const QString& name : invalidated) {
                changedMeanwhile_.remove(name);
                invalidatedMeanwhile_.append(name);
            }
        } else {
            fetch();  // the service answers signals, so it may answer GetAll now
        }
        return;
    }
    for (auto it = changes->cbegin(); it != changes->cend(); ++it) properties_->insert(it.key(), it.value());
    for (const QString& name : invalidated) properties_->remove(name);
    changed();
}

void BusPropertyFollower::ownerChanged(const QString& newOwner) {
    // A restarted daemon starts from scratch: what was known of the old one is dropped and asked again.
    const bool knew = properties_.has_value();
    properties_.reset();
    fetching_ = false;
    if (!newOwner.isEmpty()) fetch();
    if (knew) changed();
}

void BusPropertyFollower::changed() {
    if (!onChange_) return;
    const auto onChange = onChange_;  // the owner may be torn down by what it does
    onChange();
}

}  // namespace torvel
