#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Models/AppLanguage.h"
#include "Support/Signal.h"
#include "Platform/Log.h"

namespace torvel {

class SystemLocale;

/// One argument of a localised format: a string for "%@", an integer for "%ld" or "%d".
using TextArg = std::variant<std::string, long long>;

/// Every user-visible text, looked up by key in the string table of the current language. A missing
/// key logs "Missing localization for key: <key>" and yields the key itself. Main thread only.
class Localization {
public:
    using Table = std::map<std::string, std::string, std::less<>>;

    static constexpr std::string_view kFallbackCode = "en";

    /// Reads tables from `<resources>/i18n/<code>.json`. Starts with no table: keys show as themselves
    /// until updateBundle() picks a language.
    Localization(LogSink& log, std::filesystem::path resources = {}, const SystemLocale* locale = nullptr);

    /// The text of `key`.
    std::string text(std::string_view key) const;
    /// The text of `key` with its placeholders filled ("%@" a string, "%ld"/"%d" an integer, "%1$@"
    /// positional, "%%" a percent sign). A missing key yields the bare key, unformatted.
    std::string format(std::string_view key, const std::vector<TextArg>& args) const;
    /// Fills the placeholders of a text already looked up (see format()).
    static std::string fill(std::string_view text, const std::vector<TextArg>& args);

    /// Switches to the table of `language` ("system" follows the desktop's preferred languages) and
    /// then tells observers once through languageChanged.
    void updateBundle(AppLanguage language);
    /// The language code texts are shown in ("en", "cs").
    const std::string& languageCode() const { return code_; }
    Signal<> languageChanged;

    /// The first preferred language whose code (the part before "_", "-", "." or "@") is supported;
    /// `fallback` when none is.
    static std::string resolvedSystemLanguageCode(const std::vector<std::string>& preferred,
                                                  const std::vector<std::string>& supported,
                                                  const std::string& fallback);

    /// Replaces the current table (tests).
    void setTable(Table table) { table_ = std::make_shared<const Table>(std::move(table)); }

private:
    /// The table of `code`; nullptr when its file is missing or unreadable (logged when unreadable).
    std::shared_ptr<const Table> loadTable(const std::string& code) const;

    Logger log_;
    std::filesystem::path resources_;
    const SystemLocale* locale_;
    std::shared_ptr<const Table> table_ = std::make_shared<const Table>();
    std::string code_{kFallbackCode};
};

}  // namespace torvel
