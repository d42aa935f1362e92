#pragma once

#include <QDBusConnection>
#include <QObject>
#include <optional>

#include "Platform/Log.h"
#include "Support/Signal.h"

class QDBusMessage;

namespace torvel {

/// The desktop's colour scheme as the XDG desktop portal publishes it (org.freedesktop.portal.Settings,
/// "org.freedesktop.appearance" "color-scheme": 0 no preference, 1 prefers dark, 2 prefers light).
/// Asked asynchronously once, then followed through SettingChanged; nothing blocks and nothing polls.
class PortalColorScheme : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.Settings";

    PortalColorScheme(QDBusConnection bus, LogSink& log);
    ~PortalColorScheme() override;

    /// Subscribes to the portal's changes and asks for the current value.
    void start();
    /// The last valid value (0, 1 or 2). No portal, no such setting or only malformed answers: nullopt.
    std::optional<unsigned> colorScheme() const { return colorScheme_; }
    /// Emitted when colorScheme() changes.
    Signal<> changed;

private Q_SLOTS:
    void onSettingChanged(const QDBusMessage& message);

private:
    void read(const char* method);
    /// Takes a value off the bus (a variant, possibly wrapped twice as Read sends it); false if malformed.
    bool take(const QVariant& value, const char* source);

    QDBusConnection bus_;
    Logger log_;
    std::optional<unsigned> colorScheme_;
    bool heardChange_ = false;  // a change that overtook the first answer wins over it
};

}  // namespace torvel
