#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Platform/Log.h"

namespace torvel {

/// One argument of a localised format: a string for "%@", an integer for "%ld" or "%d".
using TextArg = std::variant<std::string, long long>;

/// Looks up user-visible texts by key in the current language's table. A missing key logs
/// "Missing localization for key: <key>" and yields the key itself.
class Localization {
public:
    explicit Localization(LogSink& log) : log_(log, "Localization") {}

    /// Replaces the current table (key -> text).
    void setTable(std::map<std::string, std::string, std::less<>> table) { table_ = std::move(table); }

    /// The text of `key`.
    std::string text(std::string_view key) const;
    /// The text of `key` with its placeholders filled: "%@" takes a string, "%ld"/"%d" an integer,
    /// "%1$@" a positional argument, "%%" a percent sign. A placeholder without a matching argument
    /// is left as it stands.
    std::string format(std::string_view key, const std::vector<TextArg>& args) const;

    /// Fills placeholders of an already looked-up text (see format()).
    static std::string fill(std::string_view text, const std::vector<TextArg>& args);

private:
    Logger log_;
    std::map<std::string, std::string, std::less<>> table_;
};

}  // namespace torvel
