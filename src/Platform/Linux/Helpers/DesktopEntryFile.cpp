#include "Platform/Linux/Helpers/DesktopEntryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include "Models/ShownText.h"

namespace torvel {

namespace fs = std::filesystem;

namespace {

// A .desktop file holds a few dozen keys; translations bring it to a few hundred.
constexpr std::size_t kMaxKeys = 4096;
constexpr std::size_t kMaxExecWords = 32;

// The file's bytes when it is a regular file of at most `limit` bytes. O_NONBLOCK: a FIFO planted
// among the entries must not hang the scan.
std::optional<std::string> readRegularFile(const fs::path& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= limit) {
        // One byte more than it claims, to notice a file that is being written: it is skipped.
        const auto size = static_cast<std::size_t>(info.st_size);
        std::string text(size + 1, '\0');
        std::size_t used = 0;
        while (used < text.size()) {
            const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
            if (got <= 0) break;
            used += static_cast<std::size_t>(got);
        }
        if (used <= size) {
            text.resize(used);
            result = std::move(text);
        }
    }
    ::close(fd);
    return result;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned int codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, codePoint = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, codePoint = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past Unicode are not text.
        static constexpr std::array<unsigned int, 5> kSmallest{0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// The escapes of string values (\s \n \t \r \\); control characters become spaces so that a name
// never breaks a menu line.
std::string unescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            c = next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            if (next != 's' && next != 'n' && next != 't' && next != 'r' && next != '\\') out += '\\';
        }
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    }
    return out;
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// Letters, digits and `extra`, at least one.
bool consistsOf(std::string_view text, std::string_view extra) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [extra](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               extra.find(c) != std::string_view::npos;
    });
}

// "Name" or "Name[cs_CZ@euro]".
bool isKey(std::string_view key) {
    const auto open = key.find('[');
    if (open == std::string_view::npos) return consistsOf(key, "-");
    return key.back() == ']' && consistsOf(key.substr(0, open), "-") &&
           consistsOf(key.substr(open + 1, key.size() - open - 2), "_@.-");
}

// The Name[...] suffixes to try for one locale, most specific first: "cs_CZ.UTF-8@euro" gives
// cs_CZ@euro, cs_CZ, cs@euro, cs.
std::vector<std::string> localeVariants(std::string_view locale) {
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    const auto underscore = locale.find('_');
    const std::string language(locale.substr(0, underscore));
    if (language.empty()) return {};
    std::vector<std::string> out;
    const bool hasCountry = underscore != std::string_view::npos && underscore + 1 < locale.size();
    const std::string full = std::string(locale);
    if (hasCountry && !modifier.empty()) out.push_back(full + "@" + std::string(modifier));
    if (hasCountry) out.push_back(full);
    if (!modifier.empty()) out.push_back(language + "@" + std::string(modifier));
    out.push_back(language);
    return out;
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The file name of the program an Exec line runs, past an "env VAR=value" prefix.
std::string programOf(std::string_view exec) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < exec.size() && words.size() < kMaxExecWords) {
        if (exec[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        if (exec[i] == '"') {
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                word += exec[i];
            }
            ++i;
        } else {
            for (; i < exec.size() && exec[i] != ' '; ++i) word += exec[i];
        }
        words.push_back(std::move(word));
    }
    std::size_t first = 0;
    if (!words.empty() && baseName(words[0]) == "env") {
        first = 1;
        while (first < words.size() &&
               (words[first].find('=') != std::string::npos || words[first].starts_with('-')))
            ++first;
    }
    return first < words.size() ? baseName(words[first]) : std::string();
}

}  // namespace

std::optional<DesktopEntryFile> DesktopEntryFile::read(const fs::path& path) {
    const auto text = readRegularFile(path, kMaxBytes);
    if (!text) return std::nullopt;
    return DesktopEntryFile(*text);
}

DesktopEntryFile::DesktopEntryFile(std::string_view text) {
    bool inMainGroup = false;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view line = trim(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            // Only the main group describes the application; [Desktop Action ...] has its own Name and Exec.
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos || keys_.size() >= kMaxKeys) continue;
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view rawValue = trim(line.substr(equals + 1));
        if (!isKey(key) || !isValidUtf8(rawValue)) continue;
        keys_.emplace(std::string(key), unescapeValue(rawValue));  // the first of duplicate keys counts
    }
}

std::optional<std::string> DesktopEntryFile::value(std::string_view key) const {
    const auto found = keys_.find(key);
    return found == keys_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<DesktopEntry> DesktopEntryFile::toEntry(
    std::string id, const std::vector<std::string>& preferredLanguages) const {
    const bool deleted = value("Hidden") == "true";
    // A Hidden entry stands for a deleted one, whatever else it says: it still takes the id, so the
    // user's deletion hides the system's copy.
    if (!deleted && value("Type") != "Application") return std::nullopt;

    DesktopEntry entry;
    entry.id = std::move(id);
    entry.hidden = deleted || value("NoDisplay") == "true";
    for (const auto& language : preferredLanguages) {
        for (const auto& variant : localeVariants(language)) {
            if (!entry.name) entry.name = value("Name[" + variant + "]");
        }
    }
    if (!entry.name) entry.name = value("Name");
    // Beyond the ASCII controls: C1 controls (U+009B starts a terminal sequence) and bidirectional
    // overrides, which would make the name read as something else.
    if (entry.name) entry.name = sanitizedText(*entry.name);
    if (entry.name && trim(*entry.name).empty()) entry.name.reset();
    entry.executable = programOf(value("Exec").value_or(""));
    entry.tryExecutable = baseName(value("TryExec").value_or(""));
    entry.startupWMClass = value("StartupWMClass").value_or("");
    return entry;
}

}  // namespace torvel
