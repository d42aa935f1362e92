#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "Models/StoredJson.h"
#include "Platform/Linux/Helpers/AtomicFile.h"
#include "Platform/Linux/Helpers/TaggedDefaultsValue.h"

namespace torvel {

namespace {

using json = nlohmann::json;

constexpr std::string_view kFormat = "torvel-defaults";
constexpr int kVersion = 1;
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kTemporaryRandomLength = 6;  // the XXXXXX of mkstemp
// Our own files stay far below this even with long lists; it only stops a runaway read.
constexpr std::size_t kMaxFileSize = 8 * 1024 * 1024;

using AtomicFile::errorText;
using AtomicFile::lockExclusive;
using TaggedDefaultsValue::decode;
using TaggedDefaultsValue::encode;
using TaggedDefaultsValue::unrepresentable;

std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

std::optional<std::filesystem::path> absolutePath(const char* value) {
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return std::filesystem::path(value);
}

std::optional<std::filesystem::path> passwordDatabaseHome() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return absolutePath(found->pw_dir);
}

// The JSON text of each member of the top-level "values" object of `text`, by key (the last of a
// repeated key, as the parser keeps it). `text` has parsed as a JSON object, so only the spans need
// finding; nesting is walked with a counter, not recursion.
std::map<std::string, std::string, std::less<>> rawValueTexts(std::string_view text) {
    std::size_t i = 0;
    auto blank = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
    };
    auto skipString = [&] {  // at the opening quote
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\') ++i;
        }
        ++i;
    };
    auto skipValue = [&] {
        blank();
        if (i >= text.size()) return;
        if (text[i] == '"') return skipString();
        if (text[i] != '{' && text[i] != '[') {
            while (i < text.size() && std::string_view(",}] \t\n\r").find(text[i]) == std::string_view::npos)
                ++i;
            return;
        }
        std::size_t depth = 0;
        do {
            if (text[i] == '"') {
                skipString();
                continue;
            }
            if (text[i] == '{' || text[i] == '[') ++depth;
            if (text[i] == '}' || text[i] == ']') --depth;
            ++i;
        } while (depth > 0 && i < text.size());
    };
    // Calls `member(key, value text)` for each member of the object at i.
    auto members = [&](auto&& member) {
        blank();
        if (i >= text.size() || text[i] != '{') return;
        ++i;
        for (;;) {
            blank();
            if (i >= text.size() || text[i] != '"') return;
            const std::size_t keyStart = i;
            skipString();
            const json key = json::parse(text.substr(keyStart, i - keyStart), nullptr, false);
            blank();
            if (i >= text.size() || text[i] != ':' || !key.is_string()) return;
            ++i;
            blank();
            member(key.get<std::string>());
            blank();
            if (i >= text.size() || text[i] != ',') return;
            ++i;
        }
    };
    if (text.starts_with("\xEF\xBB\xBF")) i = 3;  // a byte-order mark, which the parser allows
    std::map<std::string, std::string, std::less<>> out;
    members([&](const std::string& topKey) {
        if (topKey != "values") return skipValue();
        out.clear();
        members([&](const std::string& key) {
            const std::size_t start = i;
            skipValue();
            out.insert_or_assign(key, std::string(text.substr(start, i - start)));
        });
        ++i;  // the closing brace
    });
    return out;
}

}  // namespace

JsonFileDefaultsStore::JsonFileDefaultsStore(std::filesystem::path file, LogSink& log)
    : file_(std::move(file)), log_(log, "Settings") {
    load();
}

std::optional<std::filesystem::path> JsonFileDefaultsStore::defaultPath() {
    auto config = absolutePath(std::getenv("XDG_CONFIG_HOME"));
    if (!config) {
        auto home = absolutePath(std::getenv("HOME"));
        if (!home) home = passwordDatabaseHome();
        if (!home) return std::nullopt;
        config = *home / ".config";
    }
    return *config / "torvel" / "defaults.json";
}

std::optional<DefaultsValue> JsonFileDefaultsStore::object(std::string_view key) const {
    auto it = values_.readable.find(key);
    if (it == values_.readable.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> JsonFileDefaultsStore::unreadable(std::string_view key) const {
    auto it = values_.unread.find(key);
    if (it == values_.unread.end()) return std::nullopt;
    return it->second.why;
}

DefaultsWrite JsonFileDefaultsStore::copy(std::string_view from, std::string_view to) {
    if (const auto problem = unrepresentable(to, DefaultsValue(false))) {  // only the key counts
        auto why = fmt::format("cannot save \"{}\" to {}: {}", to, file_.string(), *problem);
        log_.error("{}", why);
        return DefaultsWrite::failed(std::move(why));
    }
    const Copy change{std::string(from), std::string(to)};
    if (auto error = persist({}, &change)) {
        auto why = fmt::format("cannot save settings to {}: {}", file_.string(), *error);
        log_.error("{}", why);
        return DefaultsWrite::failed(std::move(why));
    }
    return DefaultsWrite::ok();
}

DefaultsWrite JsonFileDefaultsStore::apply(const std::vector<DefaultsChange>& changes) {
    for (const auto& change : changes) {
        if (!change.value) continue;
        if (const auto problem = unrepresentable(change.key, *change.value)) {
            auto why = fmt::format("cannot save \"{}\" to {}: {}", change.key, file_.string(), *problem);
            log_.error("{}", why);
            return DefaultsWrite::failed(std::move(why));
        }
    }
    if (auto error = persist(changes)) {
        auto why = fmt::format("cannot save settings to {}: {}", file_.string(), *error);
        log_.error("{}", why);
        return DefaultsWrite::failed(std::move(why));
    }
    return DefaultsWrite::ok();
}

std::vector<std::string> JsonFileDefaultsStore::keys() const {
    std::vector<std::string> out;
    out.reserve(values_.readable.size());
    for (const auto& [key, value] : values_.readable) out.push_back(key);
    return out;
}

void JsonFileDefaultsStore::load() {
    std::string problem;
    if (read(values_, problem, true) == ReadResult::corrupt) {
        int error = 0;
        const auto lock = lockExclusive(sibling(".lock"), true, error);
        // Look again under the lock: a writer may have replaced the file meanwhile.
        if (!lock || read(values_, problem, true) == ReadResult::corrupt) moveAside(problem);
    }
    removeStaleTemporaries(false);
}

JsonFileDefaultsStore::ReadResult JsonFileDefaultsStore::read(Values& values, std::string& problem,
                                                              bool reportSkipped) const {
    values.clear();
    auto unreadable = [&](const std::string& why) {
        problem = fmt::format("cannot read {}: {}", file_.string(), why);
        log_.error("{}; changes will not be saved", problem);
        return ReadResult::unreadable;
    };
    auto corrupt = [&](std::string why) {
        problem = std::move(why);
        return ReadResult::corrupt;
    };
    std::string text;
    std::string reason;
    switch (AtomicFile::readRegular(file_, kMaxFileSize, text, reason)) {
        case AtomicFile::ReadStatus::ok:
            break;
        case AtomicFile::ReadStatus::missing:
            return ReadResult::ok;
        case AtomicFile::ReadStatus::refused:
            return corrupt(std::move(reason));
        case AtomicFile::ReadStatus::failed:
            return unreadable(reason);
    }

    // Nothing below copies or writes out a value before its kind is known: a value nested deep
    // enough would overflow the stack there, so the parser refuses such a file whole.
    const auto document = parseStoredJson(text);
    if (!document) return corrupt("not valid JSON: " + document.error());
    if (!document->is_object()) return corrupt("the top level is not an object");
    const auto format = document->find("format");
    if (format == document->end() || *format != kFormat) return corrupt("not a settings file");
    const auto version = document->find("version");
    if (version == document->end()) return corrupt("no version");
    if (!version->is_number_integer() || *version != kVersion) {
        return corrupt("unsupported version " +
                       (version->is_number() ? version->dump() : std::string(version->type_name())));
    }
    const auto entries = document->find("values");
    if (entries == document->end() || !entries->is_object()) return corrupt("no values");

    std::optional<std::map<std::string, std::string, std::less<>>> texts;  // found when first needed
    for (const auto& [key, entry] : entries->items()) {
        std::string why;
        if (auto value = decode(entry, why)) {
            values.readable.insert_or_assign(key, std::move(*value));
            continue;
        }
        // Perhaps a newer version's: kept as it stands, to be written back unchanged.
        if (!texts) texts = rawValueTexts(text);
        const auto found = texts->find(key);
        values.unread.insert_or_assign(
            key, Unread{found != texts->end() ? found->second
                                              : entry.dump(-1, ' ', false, json::error_handler_t::replace),
                        why});
        if (reportSkipped)
            log_.error("Cannot read stored value \"{}\" in {}, keeping it as it is: {}", key, file_.string(),
                       why);
    }
    return ReadResult::ok;
}

std::optional<std::string> JsonFileDefaultsStore::moveAside(const std::string& problem) const {
    // The file itself moves aside, not a link to it: the link then points at the fresh file.
    std::filesystem::path file = AtomicFile::writeTarget(file_);
    // A link to a FIFO or a device moves itself: /dev/zero stays where it is.
    struct stat linked {};
    if (file != file_ && (::stat(file.c_str(), &linked) != 0 || !S_ISREG(linked.st_mode))) file = file_;
    // Never replace an earlier corrupt file: the name gets "-2", "-3", ... when taken.
    auto renameNoReplace = [&](const std::string& target) {
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) return false;
        struct stat info {};  // a file system without RENAME_NOREPLACE; the lock keeps our writers out
        if (::lstat(target.c_str(), &info) == 0) {
            errno = EEXIST;
            return false;
        }
        return ::rename(file.c_str(), target.c_str()) == 0;
    };
    const std::string base = file.string() + ".corrupt-" + utcTimestamp();
    std::string target = base;
    bool moved = false;
    for (int attempt = 2; !(moved = renameNoReplace(target)) && errno == EEXIST && attempt < 1000;
         ++attempt) {
        target = base + "-" + std::to_string(attempt);
    }
    if (!moved) {
        auto why = fmt::format("{} is unusable ({}) and could not be moved aside to {}: {}", file.string(),
                               problem, target, errorText(errno));
        log_.error("Settings file {}; leaving it untouched, changes will not be saved", why);
        return why;
    }
    log_.error("Settings file {} is unusable ({}); moved it to {} and starting with defaults", file.string(),
               problem, target);
    return std::nullopt;
}

void JsonFileDefaultsStore::removeStaleTemporaries(bool holdingLock) const {
    const std::filesystem::path target = AtomicFile::writeTarget(file_);
    const std::string prefix = target.filename().string() + std::string(kTemporaryInfix);
    auto stale = [&] {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (std::filesystem::directory_iterator it(AtomicFile::directoryOf(target), error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.size() == prefix.size() + kTemporaryRandomLength && name.starts_with(prefix)) {
                found.push_back(it->path());
            }
        }
        return found;
    };
    if (stale().empty()) return;
    int error = 0;
    std::optional<FileDescriptor> lock;
    if (!holdingLock) {
        lock = lockExclusive(sibling(".lock"), false, error);
        if (!lock) return;  // a live writer holds it; one of us cleans up later
    }
    for (const auto& path : stale()) {
        if (::unlink(path.c_str()) == 0) log_.info("Removed {}, left by an interrupted write", path.string());
    }
}

std::optional<std::string> JsonFileDefaultsStore::persist(const std::vector<DefaultsChange>& changes,
                                                          const Copy* copy) {
    if (auto error = AtomicFile::makeDirectories(AtomicFile::directoryOf(file_))) return error;
    int error = 0;
    const auto lock = lockExclusive(sibling(".lock"), true, error);
    if (!lock) return fmt::format("cannot lock {}: {}", sibling(".lock"), errorText(error));
    removeStaleTemporaries(true);

    // Start from the file as it is now, which another process may have changed, and apply the
    // changes on top. (Comparing inode, size and times instead would miss a quickly reused inode.)
    Values next;
    std::string problem;
    switch (read(next, problem, false)) {  // what it skips was reported when it was loaded
        case ReadResult::ok:
            break;
        case ReadResult::corrupt:
            if (auto why = moveAside(problem)) return why;
            next = values_;  // what we hold in memory is the best there is
            break;
        case ReadResult::unreadable:
            return problem;
    }
    for (const auto& change : changes) {
        next.unread.erase(change.key);
        if (change.value) {
            next.readable.insert_or_assign(change.key, *change.value);
        } else {
            next.readable.erase(change.key);
        }
    }
    if (copy) {
        if (auto value = next.readable.find(copy->from); value != next.readable.end()) {
            next.unread.erase(copy->to);
            next.readable.insert_or_assign(copy->to, DefaultsValue(value->second));
        } else if (auto entry = next.unread.find(copy->from); entry != next.unread.end()) {
            next.readable.erase(copy->to);
            next.unread.insert_or_assign(copy->to, Unread(entry->second));
        } else {
            return fmt::format("nothing is stored under \"{}\"", copy->from);
        }
    }

    // The document as the JSON library indents it, with the unread entries' text put back as it was.
    std::map<std::string_view, std::string> entries;
    for (const auto& [key, value] : next.readable) {
        if (unrepresentable(key, value)) continue;
        std::string text = encode(value).dump(2, ' ', false, json::error_handler_t::replace);
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 5)
            text.insert(at + 1, "    ");
        entries.emplace(key, std::move(text));
    }
    for (const auto& [key, entry] : next.unread) entries.emplace(key, entry.text);
    std::string text = fmt::format("{{\n  \"format\": {},\n  \"values\": {{", json(kFormat).dump());
    const char* separator = "\n";
    for (const auto& [key, entry] : entries) {
        text += fmt::format("{}    {}: {}", separator,
                            json(key).dump(-1, ' ', false, json::error_handler_t::replace), entry);
        separator = ",\n";
    }
    text += fmt::format("{}}},\n  \"version\": {}\n}}\n", entries.empty() ? "" : "\n  ", kVersion);
    if (auto why = AtomicFile::replace(AtomicFile::writeTarget(file_), text, kTemporaryInfix)) return why;
    values_ = std::move(next);
    return std::nullopt;
}

}  // namespace torvel
