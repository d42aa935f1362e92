#include "Support/Localization.h"

#include <cctype>
#include <fstream>

#include <nlohmann/json.hpp>

#include "Platform/SystemLocale.h"

namespace torvel {

namespace {

std::string render(const TextArg& arg) {
    if (const auto* s = std::get_if<std::string>(&arg)) return *s;
    return std::to_string(std::get<long long>(arg));
}

}  // namespace

Localization::Localization(LogSink& log, std::filesystem::path resources, const SystemLocale* locale)
    : log_(log, "Localization"), resources_(std::move(resources)), locale_(locale) {}

std::string Localization::text(std::string_view key) const {
    if (auto it = table_->find(key); it != table_->end()) return it->second;
    log_.error("Missing localization for key: {}", key);
    return std::string(key);
}

std::string Localization::format(std::string_view key, const std::vector<TextArg>& args) const {
    auto it = table_->find(key);
    if (it == table_->end()) return text(key);  // logs; the bare key, unformatted
    return fill(it->second, args);
}

std::shared_ptr<const Localization::Table> Localization::loadTable(const std::string& code) const {
    if (resources_.empty()) return nullptr;
    const auto path = resources_ / "i18n" / (code + ".json");
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    const auto json = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) {
        log_.error("Unreadable string table {}", path.string());
        return nullptr;
    }
    auto table = std::make_shared<Table>();
    for (const auto& [key, value] : json.items()) {
        if (value.is_string()) table->emplace(key, value.get<std::string>());
    }
    return table;
}

void Localization::updateBundle(AppLanguage language) {
    static const std::vector<std::string> kSupported = {"cs", "en"};
    std::string code;
    std::shared_ptr<const Table> table;
    if (language == AppLanguage::system) {
        const auto preferred = locale_ ? locale_->preferredLanguages() : std::vector<std::string>{};
        code = resolvedSystemLanguageCode(preferred, kSupported, std::string(kFallbackCode));
        table = loadTable(code);
    } else {
        code = std::string(rawValue(language));
        table = loadTable(code);
        if (!table) log_.error("Missing {}.lproj bundle — falling back to main bundle", code);
    }
    // The English table is the one every build ships; without it, keys show as themselves.
    if (!table && code != kFallbackCode) table = loadTable(std::string(kFallbackCode));
    table_ = table ? table : std::make_shared<const Table>();
    code_ = code;
    languageChanged.emit();
}

std::string Localization::resolvedSystemLanguageCode(const std::vector<std::string>& preferred,
                                                     const std::vector<std::string>& supported,
                                                     const std::string& fallback) {
    for (const auto& identifier : preferred) {
        std::string code = identifier.substr(0, identifier.find_first_of("_-.@"));
        for (auto& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (code.empty()) code = identifier;
        for (const auto& s : supported) {
            if (s == code) return code;
        }
    }
    return fallback;
}

std::string Localization::fill(std::string_view text, const std::vector<TextArg>& args) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t next = 0;  // the next sequential argument
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        if (text[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Optional position "N$", then one of "@", "d", "ld", "lld".
        std::size_t j = i + 1;
        std::size_t position = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && position < 100) {
            position = position * 10 + static_cast<std::size_t>(text[j] - '0');
            ++j;
        }
        bool positional = position > 0 && j < text.size() && text[j] == '$';
        if (positional)
            ++j;
        else
            j = i + 1;
        std::size_t specEnd = j;
        while (specEnd < text.size() && text[specEnd] == 'l') ++specEnd;
        if (specEnd >= text.size() || (text[specEnd] != '@' && text[specEnd] != 'd')) {
            out += text[i];
            continue;
        }
        std::size_t index = positional ? position - 1 : next++;
        if (index < args.size()) {
            out += render(args[index]);
        } else {
            out.append(text.substr(i, specEnd - i + 1));
        }
        i = specEnd;
    }
    return out;
}

}  // namespace torvel
