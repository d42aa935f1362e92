#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

#include "Platform/SystemLocale.h"

class QCollator;

namespace torvel {

/// Preferred languages from the POSIX environment, as gettext reads it: LANGUAGE (a colon-separated
/// list) unless the messages locale is plain "C" or "POSIX" (C.UTF-8 honours it), then the first of
/// LC_ALL, LC_MESSAGES and LANG when it names a language. When the environment names no language, the
/// system-wide setting of systemd-localed (org.freedesktop.locale1) is read the same way.
class EnvironmentSystemLocale : public QObject, public SystemLocale {
    Q_OBJECT

public:
    EnvironmentSystemLocale();
    ~EnvironmentSystemLocale() override;

    std::vector<std::string> preferredLanguages() const override;
    /// Collates by the process's locale (LC_COLLATE through Qt), ignoring case.
    int compareIgnoringCase(std::string_view a, std::string_view b) const override;
    /// Unicode case folding.
    bool containsIgnoringCase(std::string_view text, std::string_view part) const override;

    /// Follows localed's "Locale" on `systemBus`, without blocking: its value arrives by an
    /// asynchronous read and with its change signal. `onChange` runs when that changes the preferred
    /// languages; keyboard-layout changes and a language the environment names never call it.
    void followSystemSettings(QDBusConnection systemBus, std::function<void()> onChange);
    /// Takes localed's "Locale" entries ("LANG=cs_CZ.UTF-8", "LC_MESSAGES=..."); malformed or
    /// oversized entries are ignored. True when the preferred languages changed.
    bool setSystemSettings(const QStringList& entries);

private Q_SLOTS:
    void onSystemSettingsChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList& invalidated);

private:
    void fetchSystemSettings();
    /// Takes a "Locale" value as it came off the bus, and tells the observer when it mattered.
    void takeSystemSettings(const QVariant& value);

    /// Made once: a collator loads the locale's rules.
    std::unique_ptr<QCollator> collator_;
    std::optional<QDBusConnection> bus_;
    std::function<void()> onChange_;
    /// localed's variables, name -> value.
    std::vector<std::pair<std::string, std::string>> systemSettings_;
};

}  // namespace torvel
