#include "Platform/Linux/Desktop/XdgAutostartLoginItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "Platform/Linux/Helpers/AtomicFile.h"
#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"

namespace torvel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kGroup = "[Desktop Entry]";
constexpr std::string_view kHidden = "Hidden";
constexpr std::string_view kGnomeEnabled = "X-GNOME-Autostart-enabled";

struct EntryRead {
    enum class Kind { missing, text, unreadable } kind = Kind::missing;
    std::string text;  // the bytes, for text; why, for unreadable
};

// O_NONBLOCK: a FIFO put in the entry's place must not hang the caller.
EntryRead readEntry(const fs::path& path) {
    FileDescriptor fd(retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); }));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return {EntryRead::Kind::unreadable, fmt::format("cannot read {}: {}", path.string(), AtomicFile::errorText(errno))};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > XdgAutostartLoginItem::kMaxBytes) {
        return {EntryRead::Kind::unreadable, fmt::format("{} is not a desktop entry Torvel can read", path.string())};
    }
    std::string text(XdgAutostartLoginItem::kMaxBytes + 1, '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const ssize_t got = retryOnInterrupt([&] { return ::read(fd.get(), text.data() + used, text.size() - used); });
        if (got < 0) return {EntryRead::Kind::unreadable, fmt::format("cannot read {}: {}", path.string(), AtomicFile::errorText(errno))};
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    if (used > XdgAutostartLoginItem::kMaxBytes)
        return {EntryRead::Kind::unreadable, fmt::format("{} is not a desktop entry Torvel can read", path.string())};
    text.resize(used);
    return {EntryRead::Kind::text, std::move(text)};
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + '\n';
    return text;
}

// The key of a "Key = value" line; empty for comments, groups and lines without "=".
std::string_view keyOf(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || trim(line).starts_with('#')) return {};
    return trim(line.substr(0, equals));
}

std::string_view valueOf(std::string_view line) {
    return trim(line.substr(line.find('=') + 1));
}

// Calls `visit(index)` for every line of the [Desktop Entry] group; returns the header's index, or -1
// when the file has no such group (then it starts nothing).
template <typename Visit>
long forEachEntryLine(const std::vector<std::string>& lines, Visit visit) {
    long header = -1;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto line = trim(lines[i]);
        if (line.starts_with('[')) {
            inside = line == kGroup;
            if (inside && header < 0) header = static_cast<long>(i);
        } else if (inside) {
            visit(i);
        }
    }
    return header;
}

bool startsAtLogin(const std::string& text) {
    const auto lines = splitLines(text);
    // Either switch alone keeps the entry from starting; a later line of the same key wins.
    bool hidden = false;
    bool gnomeOff = false;
    const long header = forEachEntryLine(lines, [&](std::size_t i) {
        const auto key = keyOf(lines[i]);
        if (key == kHidden) hidden = valueOf(lines[i]) == "true";
        if (key == kGnomeEnabled) gnomeOff = valueOf(lines[i]) == "false";
    });
    return header >= 0 && !hidden && !gnomeOff;
}

// The user's entry with its switch flipped and every other line kept.
std::string withSwitch(const std::string& text, bool on) {
    auto lines = splitLines(text);
    bool hasHidden = false;
    const long header = forEachEntryLine(lines, [&](std::size_t i) {
        const auto key = keyOf(lines[i]);
        if (key == kHidden) {
            lines[i] = fmt::format("{}={}", kHidden, on ? "false" : "true");
            hasHidden = true;
        } else if (key == kGnomeEnabled && on) {
            lines[i] = fmt::format("{}=true", kGnomeEnabled);
        }
    });
    if (!on && !hasHidden) lines.insert(lines.begin() + header + 1, fmt::format("{}=true", kHidden));
    return joinLines(lines);
}

// Torvel's own entry, whatever program path it named: then it may be rewritten whole or removed.
bool isOwnEntry(const std::string& text, const std::string& own) {
    auto lines = splitLines(text);
    auto ownLines = splitLines(own);
    for (auto* list : {&lines, &ownLines}) {
        for (auto& line : *list) {
            if (line.starts_with("Exec=")) line = "Exec=";
        }
    }
    return lines == ownLines;
}

// Characters that oblige an Exec argument to be quoted, by the desktop entry rules.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::optional<fs::path> file, std::string exec)
    : file_(std::move(file)), exec_(std::move(exec)) {}

std::optional<fs::path> XdgAutostartLoginItem::defaultPath() {
    // The same configuration folder as the settings file's, by the same rules.
    const auto defaults = JsonFileDefaultsStore::defaultPath();
    if (!defaults) return std::nullopt;
    return defaults->parent_path().parent_path() / "autostart" / "com.torvel.Torvel.desktop";
}

std::string XdgAutostartLoginItem::execCommand() {
    std::error_code error;
    std::string self = fs::read_symlink("/proc/self/exe", error).string();
    // A program replaced by an upgrade while it runs is still found at its path.
    constexpr std::string_view kDeleted = " (deleted)";
    if (self.ends_with(kDeleted)) self.resize(self.size() - kDeleted.size());
    if (error || self.empty()) return "torvel";

    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const auto dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') continue;
        const fs::path candidate = fs::path(dir) / "torvel";
        if (fs::exists(candidate, error)) {
            if (fs::equivalent(candidate, self, error)) return "torvel";
            break;  // another torvel comes first on PATH: name ours exactly
        }
    }
    for (const char c : self) {
        // A line break or control character cannot be written in an entry at all.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "torvel";
    }
    std::string exec = self;
    if (self.find_first_of(kReserved) != std::string::npos) {
        exec = "\"";
        for (const char c : self) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
            exec += c;
        }
        exec += '"';
    }
    // Then the entry's own escapes: a backslash is written doubled, a percent sign doubled.
    std::string value;
    for (const char c : exec) {
        if (c == '\\' || c == '%') value += c;
        value += c;
    }
    return value;
}

std::string XdgAutostartLoginItem::entryText() const {
    return fmt::format(
        "{}\n"
        "Type=Application\n"
        "Name=Torvel\n"
        "Comment=Keeps the computer awake\n"
        "Comment[cs]=Udrží počítač vzhůru\n"
        "Exec={}\n"
        "Icon=torvel\n"
        "Terminal=false\n"
        "StartupNotify=false\n"
        "{}=true\n",
        kGroup, exec_, kGnomeEnabled);
}

bool XdgAutostartLoginItem::isEnabled() const {
    if (!file_) return false;
    const auto entry = readEntry(*file_);
    return entry.kind == EntryRead::Kind::text && startsAtLogin(entry.text);
}

std::optional<std::string> XdgAutostartLoginItem::enable() {
    if (!file_) return "there is no configuration folder (neither XDG_CONFIG_HOME nor a home is set)";
    const fs::path target = AtomicFile::writeTarget(*file_);
    const auto entry = readEntry(target);
    switch (entry.kind) {
        case EntryRead::Kind::unreadable:
            // Never written over: it may be the user's, and it is not ours to lose.
            return entry.text;
        case EntryRead::Kind::missing:
            return write(target, entryText());
        case EntryRead::Kind::text:
            break;
    }
    // A file that is no entry at all starts nothing; ours is refreshed (the program may have moved).
    if (isOwnEntry(entry.text, entryText()) || forEachEntryLine(splitLines(entry.text), [](std::size_t) {}) < 0)
        return entry.text == entryText() ? std::nullopt : write(target, entryText());
    if (startsAtLogin(entry.text)) return std::nullopt;
    return write(target, withSwitch(entry.text, true));
}

std::optional<std::string> XdgAutostartLoginItem::disable() {
    if (!file_) return std::nullopt;  // no folder, no entry: nothing starts Torvel
    const fs::path target = AtomicFile::writeTarget(*file_);
    const auto entry = readEntry(target);
    if (entry.kind == EntryRead::Kind::missing) return std::nullopt;
    if (entry.kind == EntryRead::Kind::unreadable) return entry.text;
    if (!startsAtLogin(entry.text)) return std::nullopt;
    // A linked entry belongs to the user's own set-up, so it is switched off rather than removed.
    if (target == *file_ && isOwnEntry(entry.text, entryText())) {
        if (::unlink(file_->c_str()) == 0 || errno == ENOENT) return std::nullopt;
        return fmt::format("cannot remove {}: {}", file_->string(), AtomicFile::errorText(errno));
    }
    return write(target, withSwitch(entry.text, false));
}

std::optional<std::string> XdgAutostartLoginItem::write(const fs::path& target, const std::string& text) const {
    if (auto error = AtomicFile::makeDirectories(AtomicFile::directoryOf(target))) return error;
    return AtomicFile::replace(target, text, ".tmp-");
}

}  // namespace torvel
