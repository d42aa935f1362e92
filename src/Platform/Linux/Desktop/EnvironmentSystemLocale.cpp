#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"

#include <QCollator>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace torvel {

namespace {

constexpr const char* kLocaled = "org.freedesktop.locale1";
constexpr const char* kLocaledPath = "/org/freedesktop/locale1";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kLocaleProperty = "Locale";
// localed knows about a dozen variables; anything far beyond that is not a locale setting.
constexpr qsizetype kMaxEntries = 64;
constexpr std::size_t kMaxValue = 64;

// The untranslated locale, by either of its names; with nothing set at all the process is in it too.
bool isPlainC(std::string_view locale) {
    return locale.empty() || locale == "C" || locale == "POSIX";
}

// A locale whose name says its language: not the C locale, also not with a code set (C.UTF-8).
bool namesLanguage(std::string_view locale) {
    return !isPlainC(locale) && !locale.starts_with("C.") && !locale.starts_with("POSIX.");
}

/// The languages that gettext would use, given how the locale variables are set (absent: nullptr).
template <typename Lookup>
std::vector<std::string> languagesFrom(Lookup variable) {
    std::vector<std::string> out;
    // The messages locale: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
    std::string_view effective;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = variable(name); value && *value) {
            effective = value;
            break;
        }
    }
    // LANGUAGE lists preferences ahead of it, ignored only in the plain C locale: C.UTF-8 is a real
    // locale to gettext, one that merely names no language.
    if (const char* language = variable("LANGUAGE"); language && !isPlainC(effective)) {
        std::string_view list(language);
        while (!list.empty()) {
            const auto colon = list.find(':');
            const auto item = list.substr(0, colon);
            if (item == "C" || item == "POSIX") {
                out.emplace_back("en");  // gettext stops here and shows the untranslated, English texts
                break;
            }
            if (namesLanguage(item) && item.size() < kMaxValue) out.emplace_back(item);
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    if (namesLanguage(effective) && effective.size() < kMaxValue) out.emplace_back(effective);
    return out;
}

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::vector<std::string> EnvironmentSystemLocale::preferredLanguages() const {
    auto fromEnvironment = languagesFrom([](const char* name) { return std::getenv(name); });
    if (!fromEnvironment.empty()) return fromEnvironment;
    return languagesFrom([this](const char* name) -> const char* {
        for (const auto& [key, value] : systemSettings_) {
            if (key == name) return value.c_str();
        }
        return nullptr;
    });
}

EnvironmentSystemLocale::EnvironmentSystemLocale() : collator_(std::make_unique<QCollator>()) {
    collator_->setCaseSensitivity(Qt::CaseInsensitive);  // in the system locale
}

EnvironmentSystemLocale::~EnvironmentSystemLocale() = default;

int EnvironmentSystemLocale::compareIgnoringCase(std::string_view a, std::string_view b) const {
    return collator_->compare(qtext(a), qtext(b));
}

bool EnvironmentSystemLocale::containsIgnoringCase(std::string_view text, std::string_view part) const {
    return qtext(text).contains(qtext(part), Qt::CaseInsensitive);
}

bool EnvironmentSystemLocale::setSystemSettings(const QStringList& entries) {
    const auto before = preferredLanguages();
    systemSettings_.clear();
    for (const QString& entry : entries.mid(0, kMaxEntries)) {
        const std::string text = entry.toStdString();
        const auto equals = text.find('=');
        if (equals == std::string::npos || equals == 0 || text.size() - equals - 1 >= kMaxValue) continue;
        if (text.find('\0') != std::string::npos) continue;
        systemSettings_.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    return preferredLanguages() != before;
}

void EnvironmentSystemLocale::followSystemSettings(QDBusConnection systemBus,
                                                   std::function<void()> onChange) {
    bus_ = std::move(systemBus);
    onChange_ = std::move(onChange);
    bus_->connect(kLocaled, kLocaledPath, kProperties, "PropertiesChanged", this,
                  SLOT(onSystemSettingsChanged(QString, QVariantMap, QStringList)));
    fetchSystemSettings();
}

void EnvironmentSystemLocale::onSystemSettingsChanged(const QString& interface, const QVariantMap& changed,
                                                      const QStringList& invalidated) {
    // localed also announces keyboard layouts here; only the locale itself matters.
    if (interface != kLocaled) return;
    if (const auto it = changed.find(kLocaleProperty); it != changed.end()) {
        takeSystemSettings(*it);
    } else if (invalidated.contains(kLocaleProperty)) {
        fetchSystemSettings();
    }
}

void EnvironmentSystemLocale::fetchSystemSettings() {
    // A language named by the environment wins: localed's is not needed then.
    if (!bus_ || !languagesFrom([](const char* name) { return std::getenv(name); }).empty()) return;
    auto get = QDBusMessage::createMethodCall(kLocaled, kLocaledPath, kProperties, "Get");
    get << QString(kLocaled) << QString(kLocaleProperty);
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        QDBusPendingReply<QDBusVariant> reply = *finished;
        if (!reply.isError()) takeSystemSettings(reply.value().variant());
    });
}

void EnvironmentSystemLocale::takeSystemSettings(const QVariant& value) {
    QStringList entries;
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        entries = value.toStringList();
    } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != "as") return;  // not what localed sends
        entries = qdbus_cast<QStringList>(argument);
    } else {
        return;
    }
    if (setSystemSettings(entries) && onChange_) onChange_();
}

}  // namespace torvel
