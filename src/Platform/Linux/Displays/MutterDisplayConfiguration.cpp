#include "Platform/Linux/Displays/MutterDisplayConfiguration.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

#include <algorithm>
#include <utility>

namespace torvel {

namespace {

constexpr const char* kPath = "/org/gnome/Mutter/DisplayConfig";
constexpr const char* kInterface = "org.gnome.Mutter.DisplayConfig";
// serial, monitors ((connector, vendor, product, serial), modes, properties), logical monitors (x, y,
// scale, transform, primary, monitors, properties), properties.
constexpr const char* kStateSignature = "ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv}";

}  // namespace

MutterDisplayConfiguration::MutterDisplayConfiguration(QDBusConnection session,
                                                       std::unique_ptr<DisplayConfiguration> fallback,
                                                       LogSink& log)
    : DisplayConfiguration([this](bool) { followFallback(); }),
      bus_(std::move(session)),
      fallback_(std::move(fallback)),
      log_(log, "Mirroring") {
    if (!bus_.isConnected()) {
        use(Source::fallback);
        return;
    }
    subscribed_ =
        bus_.connect(kService, kPath, kInterface, "MonitorsChanged", this, SLOT(onMonitorsChanged()));
    // Mutter restarting (or starting after us) is asked again; Mutter leaving hands over to the fallback.
    watcher_ =
        std::make_unique<QDBusServiceWatcher>(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
                     [this](const QString&, const QString&, const QString& newOwner) {
                         if (newOwner.isEmpty()) {
                             ++latest_;  // an answer still on its way comes from the one that left
                             use(Source::fallback);
                         } else {
                             fetch();
                         }
                     });
    fetch();
}

MutterDisplayConfiguration::~MutterDisplayConfiguration() {
    if (subscribed_)
        bus_.disconnect(kService, kPath, kInterface, "MonitorsChanged", this, SLOT(onMonitorsChanged()));
}

std::vector<DisplayID> MutterDisplayConfiguration::onlineDisplays(std::size_t maxCount) {
    switch (source_) {
        case Source::pending:
            return {};
        case Source::fallback:
            return fallback_ ? fallback_->onlineDisplays(maxCount) : std::vector<DisplayID>{};
        case Source::mutter:
            break;
    }
    std::vector<DisplayID> out(online_.begin(), online_.begin() + std::min(maxCount, online_.size()));
    return out;
}

bool MutterDisplayConfiguration::isInMirrorSet(DisplayID display) {
    if (source_ == Source::fallback) return fallback_ && fallback_->isInMirrorSet(display);
    return source_ == Source::mutter && mirrored_.count(display) > 0;
}

void MutterDisplayConfiguration::followFallback() {
    // The fallback is listened to (udev, for the graphics cards) only while it is the one answering.
    if (fallback_ && source_ == Source::fallback && reconfiguration.isObserved()) {
        fallbackReconfiguration_ = fallback_->reconfiguration.connect(
            [this](DisplayID display, bool isBeginning) { reconfiguration.emit(display, isBeginning); });
    } else {
        fallbackReconfiguration_.reset();
    }
}

void MutterDisplayConfiguration::onMonitorsChanged() {
    fetch();
}

void MutterDisplayConfiguration::fetch() {
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCurrentState");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, asked = ++latest_] {
        watcher->deleteLater();
        if (asked == latest_) received(watcher->reply());
    });
}

void MutterDisplayConfiguration::received(const QDBusMessage& reply) {
    const auto state = parse(reply);
    if (!state) {
        const QString error = reply.errorName();
        if (error == "org.freedesktop.DBus.Error.ServiceUnknown" ||
            error == "org.freedesktop.DBus.Error.NameHasNoOwner") {
            if (source_ != Source::fallback)
                log_.info("No Mutter display configuration here; the graphics cards tell the mirroring");
        } else if (!reportedBadAnswer_) {
            log_.error(
                "Mutter's display configuration gave no usable answer ({}); the graphics cards tell "
                "the mirroring",
                error.isEmpty() ? reply.signature().toStdString() : error.toStdString());
            reportedBadAnswer_ = true;
        }
        use(Source::fallback);
        return;
    }
    reportedBadAnswer_ = false;
    std::map<std::string, DisplayID> ids;
    online_.clear();
    mirrored_.clear();
    for (const auto& name : state->online) {
        const auto known = ids_.find(name);
        const DisplayID id = known != ids_.end() ? known->second : nextId_++;
        ids.emplace(name, id);
        online_.push_back(id);
        if (state->mirrored.count(name)) mirrored_.insert(id);
    }
    ids_ = std::move(ids);
    if (source_ != Source::mutter) log_.info("Mirroring is read from Mutter's display configuration");
    use(Source::mutter);
    announce();  // every answer may be news, even from the source already in use
}

void MutterDisplayConfiguration::use(Source source) {
    if (source == source_) return;
    source_ = source;
    if (source_ != Source::mutter) {
        ids_.clear();
        online_.clear();
        mirrored_.clear();
    }
    followFallback();
    announce();
}

void MutterDisplayConfiguration::announce() {
    reconfiguration.emit(0, false);
}

std::optional<MutterDisplayConfiguration::State> MutterDisplayConfiguration::parse(
    const QDBusMessage& reply) {
    // The exact shape is checked first: reading a QDBusArgument against another shape is not safe.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String(kStateSignature) ||
        reply.arguments().size() != 4 || !reply.arguments()[2].canConvert<QDBusArgument>())
        return std::nullopt;
    const auto logical = reply.arguments()[2].value<QDBusArgument>();
    State state;
    std::set<std::string> seen;
    std::size_t count = 0;
    logical.beginArray();
    while (!logical.atEnd()) {
        qint32 x = 0, y = 0;
        double scale = 0;
        quint32 transform = 0;
        bool primary = false;
        std::vector<std::string> shown;
        logical.beginStructure();
        logical >> x >> y >> scale >> transform >> primary;
        logical.beginArray();
        while (!logical.atEnd()) {
            QString connector, vendor, product, serial;
            logical.beginStructure();
            logical >> connector >> vendor >> product >> serial;
            logical.endStructure();
            if (++count > kMaxMonitors) return std::nullopt;
            // A monitor listed twice is one monitor; an unnamed one is nothing to count.
            std::string name = connector.toStdString();
            if (!name.empty() && seen.insert(name).second) shown.push_back(std::move(name));
        }
        logical.endArray();
        QVariantMap properties;
        logical >> properties;
        logical.endStructure();
        state.online.insert(state.online.end(), shown.begin(), shown.end());
        // One logical monitor on several monitors: each of them shows the same picture.
        if (shown.size() > 1) state.mirrored.insert(shown.begin(), shown.end());
    }
    logical.endArray();
    return state;
}

}  // namespace torvel
