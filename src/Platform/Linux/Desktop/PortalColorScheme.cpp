#include "Platform/Linux/Desktop/PortalColorScheme.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace torvel {
namespace {

constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

}  // namespace

PortalColorScheme::PortalColorScheme(QDBusConnection bus, LogSink& log)
    : bus_(std::move(bus)), log_(log, "Appearance") {}

PortalColorScheme::~PortalColorScheme() = default;

void PortalColorScheme::start() {
    if (!bus_.isConnected()) return;
    // Taken as a whole message, so its signature is checked here before any argument is read.
    bus_.connect(kService, kPath, kInterface, "SettingChanged", this, SLOT(onSettingChanged(QDBusMessage)));
    read("ReadOne");
}

void PortalColorScheme::read(const char* method) {
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call << QString(kNamespace) << QString(kKey);
    // The portal may be started by this call; a hung one must not leave a call pending forever.
    constexpr int kTimeoutMs = 10000;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    const bool readOne = qstrcmp(method, "ReadOne") == 0;
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, readOne](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusMessage reply = done->reply();
                if (reply.type() == QDBusMessage::ErrorMessage) {
                    // ReadOne came with version 2 of the interface; older portals have Read only.
                    if (readOne && reply.errorName() == QDBusError::errorString(QDBusError::UnknownMethod)) {
                        read("Read");
                        return;
                    }
                    log_.info("No colour scheme from the desktop portal ({}); the dark glyph stays",
                              reply.errorName().toStdString());
                    return;
                }
                if (heardChange_) return;
                if (reply.signature() != "v" || !take(reply.arguments().at(0), "answer"))
                    log_.error("The desktop portal answered the colour scheme with {}; ignored",
                               reply.signature().toStdString());
            });
}

bool PortalColorScheme::take(const QVariant& value, const char* source) {
    QVariant inner = value;
    // Read wraps the value in one more variant than ReadOne; more than that is not an answer.
    for (int depth = 0; depth < 2 && inner.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        inner = inner.value<QDBusVariant>().variant();
    if (inner.metaType() != QMetaType::fromType<uint>()) return false;
    const uint scheme = inner.toUInt();
    // Values past 2 may come with later portals; until they mean something here they mean nothing.
    const std::optional<unsigned> next = scheme <= 2 ? std::optional<unsigned>(scheme) : std::nullopt;
    log_.debug("Colour scheme {} from the portal's {}", scheme, source);
    if (next == colorScheme_) return true;
    colorScheme_ = next;
    changed.emit();
    return true;
}

void PortalColorScheme::onSettingChanged(const QDBusMessage& message) {
    if (message.signature() != "ssv") return;
    const auto arguments = message.arguments();
    if (arguments.at(0).toString() != kNamespace || arguments.at(1).toString() != kKey) return;
    heardChange_ = true;
    if (!take(arguments.at(2), "change signal"))
        log_.error("The desktop portal announced a colour scheme that is not a number; ignored");
}

}  // namespace torvel
