#include "Core/Localization.h"

#include <cctype>

namespace torvel {

namespace {

std::string render(const TextArg& arg) {
    if (const auto* s = std::get_if<std::string>(&arg)) return *s;
    return std::to_string(std::get<long long>(arg));
}

}  // namespace

std::string Localization::text(std::string_view key) const {
    if (auto it = table_.find(key); it != table_.end()) return it->second;
    log_.error("Missing localization for key: {}", key);
    return std::string(key);
}

std::string Localization::format(std::string_view key, const std::vector<TextArg>& args) const {
    return fill(text(key), args);
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
        if (positional) ++j;
        else j = i + 1;
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
