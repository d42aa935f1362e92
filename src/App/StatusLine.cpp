#include "App/StatusLine.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdlib>

#include "Models/ShownText.h"

namespace torvel {

namespace {

enum class Kind { flag, text, list, unixSeconds, percent, minutes };

struct Shown {
    const char* name;
    Kind kind;
};

// The properties a line is made of; the others (profiles, networks, applications) change often and
// belong to other faces.
constexpr Shown kShown[] = {
    {"Active", Kind::flag},
    {"NeedsAttention", Kind::flag},
    {"OnACPower", Kind::flag},
    {"AutomationPaused", Kind::flag},
    {"RequestPending", Kind::flag},
    {"ScreenSaverPrevented", Kind::flag},
    {"AssertionType", Kind::text},
    {"RemainingText", Kind::text},
    {"StatusText", Kind::text},
    {"TooltipTitle", Kind::text},
    {"ProfileID", Kind::text},
    {"Profile", Kind::text},
    {"EmergencyAlarm", Kind::text},
    {"StatusMessage", Kind::text},
    {"Reasons", Kind::list},
    {"CountdownEnd", Kind::unixSeconds},
    {"AutomationPausedUntil", Kind::unixSeconds},
    {"BatteryPercent", Kind::percent},
    {"BatteryMinutesRemaining", Kind::minutes},
};

// 9999-12-31T23:59:59Z: later times are no times a countdown or pause ends at.
constexpr qint64 kLatestSeconds = 253402300799;
// A bar has room for a few words; a name longer than this is cut.
constexpr std::size_t kMaxShownCharacters = 120;

bool fits(Kind kind, const QVariant& value) {
    const int type = value.metaType().id();
    switch (kind) {
        case Kind::flag:
            return type == QMetaType::Bool;
        case Kind::text:
            return type == QMetaType::QString;
        case Kind::list:
            return type == QMetaType::QStringList;
        case Kind::unixSeconds:
            return type == QMetaType::LongLong && value.toLongLong() >= 0 &&
                   value.toLongLong() <= kLatestSeconds;
        case Kind::percent:
            return type == QMetaType::Int && value.toInt() >= -1 && value.toInt() <= 100;
        case Kind::minutes:
            return type == QMetaType::Int && value.toInt() >= -1;
    }
    return false;
}

/// Text from outside as one short line: no control or direction characters.
QString cleaned(const QString& text) {
    return QString::fromStdString(cappedText(sanitizedText(text.toStdString()), kMaxShownCharacters));
}

QString shown(const QVariantMap& properties, const char* name) {
    return cleaned(properties.value(name).toString());
}

/// "active", "pending", "paused" or "inactive": the state a bar tells apart.
QString stateOf(const QVariantMap& properties) {
    if (properties.value("Active").toBool()) return "active";
    if (properties.value("RequestPending").toBool()) return "pending";
    if (properties.value("AutomationPaused").toBool()) return "paused";
    return "inactive";
}

/// The short word a bar shows for a state when there is no time to show.
QString wordFor(const QString& state) {
    if (state == "active") return "on";
    if (state == "inactive") return "off";
    return state;
}

/// Unix seconds as ISO 8601 in the local zone with its offset, as `torvel status --json` writes
/// times ("2026-12-07T18:30:00+01:00", "+00:00" rather than "Z").
QString isoLocal(qint64 seconds) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString("yyyy-MM-dd'T'HH:mm:ss") + (offset < 0 ? '-' : '+') +
           QString("%1:%2").arg(minutes / 60, 2, 10, QChar('0')).arg(minutes % 60, 2, 10, QChar('0'));
}

QString compact(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString jsonLine(const std::optional<QVariantMap>& given) {
    if (!given) return compact({{"running", false}});
    const QVariantMap& properties = *given;
    QJsonObject line{{"running", true},
                     {"active", properties.value("Active").toBool()},
                     {"reasons", QJsonArray::fromStringList(properties.value("Reasons").toStringList())}};
    // As `torvel status --json`: a field with nothing to say is left out.
    const struct {
        const char* property;
        const char* key;
    } fields[] = {{"AssertionType", "assertionType"},   {"Profile", "profile"},
                  {"ProfileID", "profileID"},           {"ScreenSaverPrevented", "screenSaverPrevented"},
                  {"OnACPower", "onACPower"},           {"AutomationPaused", "automationPaused"},
                  {"RequestPending", "requestPending"}, {"EmergencyAlarm", "emergencyAlarm"},
                  {"NeedsAttention", "needsAttention"}, {"RemainingText", "remainingText"},
                  {"StatusText", "statusText"},         {"StatusMessage", "statusMessage"}};
    for (const auto& field : fields) {
        const QVariant value = properties.value(field.property);
        if (value.isValid() && !(value.metaType().id() == QMetaType::QString && value.toString().isEmpty()))
            line[field.key] = QJsonValue::fromVariant(value);
    }
    for (const auto& [property, key] : {std::pair{"CountdownEnd", "countdownEnd"},
                                        std::pair{"AutomationPausedUntil", "automationPausedUntil"}})
        if (properties.value(property).toLongLong() > 0)
            line[key] = isoLocal(properties.value(property).toLongLong());
    for (const auto& [property, key] : {std::pair{"BatteryPercent", "batteryPercent"},
                                        std::pair{"BatteryMinutesRemaining", "batteryMinutesRemaining"}})
        if (properties.contains(property) && properties.value(property).toInt() >= 0)
            line[key] = properties.value(property).toInt();
    return compact(line);
}

QString waybarLine(const std::optional<QVariantMap>& given) {
    if (!given)
        return compact({{"text", "off"},
                        {"alt", "stopped"},
                        {"tooltip", "Torvel is not running"},
                        {"class", QJsonArray{"stopped"}}});
    const QVariantMap& properties = *given;
    auto markup = [&](const char* name) { return StatusLine::pangoEscaped(shown(properties, name)); };
    const QString state = stateOf(properties);
    const QString remaining = markup("RemainingText");
    const QString title = markup("TooltipTitle");
    QStringList tooltip{title.isEmpty() ? QString("Torvel") : title};
    if (const QString status = markup("StatusText"); !status.isEmpty()) tooltip << status;
    QStringList reasons = properties.value("Reasons").toStringList();
    for (auto& reason : reasons) reason = StatusLine::pangoEscaped(cleaned(reason));
    if (!reasons.isEmpty()) tooltip << "Reasons: " + reasons.join(", ");
    if (const QString profile = markup("Profile"); !profile.isEmpty()) tooltip << "Profile: " + profile;
    if (const qint64 end = properties.value("CountdownEnd").toLongLong(); end > 0)
        tooltip << "Ends: " + QDateTime::fromSecsSinceEpoch(end).toString("yyyy-MM-dd HH:mm");
    if (const QString message = markup("StatusMessage"); !message.isEmpty()) tooltip << message;
    QJsonArray classes{state};
    if (properties.value("NeedsAttention").toBool()) classes.append("attention");
    QJsonObject line{{"text", remaining.isEmpty() ? wordFor(state) : remaining},
                     {"alt", state},
                     {"tooltip", tooltip.join('\n')},
                     {"class", classes}};
    if (properties.contains("BatteryPercent") && properties.value("BatteryPercent").toInt() >= 0)
        line["percentage"] = properties.value("BatteryPercent").toInt();
    return compact(line);
}

QString textLine(const std::optional<QVariantMap>& given) {
    if (!given) return "not running";
    const QVariantMap& properties = *given;
    auto plain = [&](const char* name) { return StatusLine::withoutPolybarTags(shown(properties, name)); };
    QString line = wordFor(stateOf(properties));
    if (const QString remaining = plain("RemainingText"); !remaining.isEmpty()) line += " " + remaining;
    if (const QString profile = plain("Profile"); !profile.isEmpty()) line += " (" + profile + ")";
    // Plain text has no colour to draw attention with: the mark leads.
    if (properties.value("NeedsAttention").toBool()) line = "! " + line;
    return line;
}

}  // namespace

std::optional<StatusLine::Format> StatusLine::formatNamed(std::string_view name) {
    if (name == "json") return Format::json;
    if (name == "waybar") return Format::waybar;
    if (name == "text") return Format::text;
    return std::nullopt;
}

void StatusLine::merge(QVariantMap& properties, const QVariantMap& changed) {
    for (const auto& property : kShown) {
        const auto found = changed.constFind(property.name);
        if (found != changed.constEnd() && fits(property.kind, *found)) properties[property.name] = *found;
    }
}

bool StatusLine::complete(const QVariantMap& properties) {
    return properties.contains("Active");
}

QString StatusLine::format(Format format, const std::optional<QVariantMap>& properties) {
    switch (format) {
        case Format::json:
            return jsonLine(properties);
        case Format::waybar:
            return waybarLine(properties);
        case Format::text:
            return textLine(properties);
    }
    return {};
}

QString StatusLine::withoutPolybarTags(QString text) {
    // Removing a tag can join a "%" before it to a "{" after it into a new one: repeat until none.
    for (qsizetype at = text.indexOf("%{"); at >= 0; at = text.indexOf("%{")) {
        const qsizetype end = text.indexOf('}', at + 2);
        text.remove(at, end < 0 ? text.size() - at : end - at + 1);
    }
    return text;
}

QString StatusLine::pangoEscaped(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>') {
            escaped += "&gt;";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace torvel
