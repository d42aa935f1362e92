#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>
#include <string_view>

namespace torvel {

/// One line of `torvel status --format` / `--follow`, made from the properties of the running
/// Torvel (com.torvel.Torvel1, as GetAll and PropertiesChanged send them). The properties come from
/// whoever owns the bus name: only the ones a line shows are kept, and only with the right type and
/// range. Text from outside is cleaned for where the line goes (a terminal, Pango markup, polybar).
///
///   json    compact object; keys as `torvel status --json` names them where both have the field,
///           plus running, needsAttention, remainingText, statusText and statusMessage
///   waybar  {text, alt, tooltip, class, percentage} for a Waybar custom module (return-type json)
///   text    plain words for polybar (tail = true) and i3blocks (interval=persist)
class StatusLine {
public:
    enum class Format { json, waybar, text };

    /// "json", "waybar" or "text"; std::nullopt for anything else.
    static std::optional<Format> formatNamed(std::string_view name);

    /// Copies into `properties` the entries of `changed` a line shows whose value has the expected
    /// D-Bus type and range; anything else is left out, and what was there stays.
    static void merge(QVariantMap& properties, const QVariantMap& changed);
    /// Whether `properties` read in full can make a line: at least Active is there. A Torvel that
    /// answers GetAll without it does not offer its state this way.
    static bool complete(const QVariantMap& properties);

    /// The line (without its line break) for `properties`, std::nullopt when Torvel is not running.
    static QString format(Format format, const std::optional<QVariantMap>& properties);

    /// `text` without polybar's `%{...}` format tags (an unclosed one takes the rest with it).
    static QString withoutPolybarTags(QString text);
    /// `text` with &, < and > written as Pango markup entities.
    static QString pangoEscaped(const QString& text);
};

}  // namespace torvel
