#include "Platform/Linux/Helpers/DesktopEntryIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <system_error>
#include <tuple>

namespace torvel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".desktop";
constexpr std::size_t kMaxUnitParts = 32;

std::optional<std::pair<std::int64_t, std::int64_t>> modificationTime(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::pair<std::int64_t, std::int64_t>{info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

bool isGenericProgram(std::string_view name) {
    static constexpr std::array<std::string_view, 29> kGeneric{
        "sh",      "bash",   "dash",     "zsh",      "fish",        "ksh",  "csh",    "tcsh",
        "env",     "sudo",   "pkexec",   "bwrap",    "flatpak",     "snap", "python", "python2",
        "python3", "perl",   "ruby",     "node",     "nodejs",      "java", "gjs",    "mono",
        "wine",    "wine64", "electron", "xdg-open", "gapplication"};
    return name.empty() || std::find(kGeneric.begin(), kGeneric.end(), name) != kGeneric.end() ||
           name.starts_with("python3.") || name.starts_with("python2.");
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// systemd's \xHH escapes in unit names ("firefox\x2desr").
std::string unescapeUnit(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
            hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

DesktopEntryIndex::DesktopEntryIndex(std::vector<fs::path> applicationFolders, LogSink& log)
    : folders_(std::move(applicationFolders)), log_(log, "Workspace") {}

std::vector<fs::path> DesktopEntryIndex::defaultApplicationFolders() {
    std::vector<fs::path> out;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // Relative paths in these variables are invalid and ignored, as the base-directory rules say.
    if (dataHome && dataHome[0] == '/') {
        out.emplace_back(fs::path(dataHome) / "applications");
    } else if (home && home[0] == '/') {
        out.emplace_back(fs::path(home) / ".local/share/applications");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string_view list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    while (!list.empty()) {
        const auto colon = list.find(':');
        const auto item = list.substr(0, colon);
        if (item.starts_with('/')) out.emplace_back(fs::path(item) / "applications");
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    return out;
}

bool DesktopEntryIndex::refresh(const std::vector<std::string>& preferredLanguages) {
    if (built_ && preferredLanguages == languages_ && !changedOnDisk()) return false;
    rebuild(preferredLanguages);
    return true;
}

bool DesktopEntryIndex::changedOnDisk() const {
    return std::any_of(stamps_.begin(), stamps_.end(), [](const FolderStamp& stamp) {
        return modificationTime(stamp.path) != stamp.modified;
    });
}

void DesktopEntryIndex::rebuild(const std::vector<std::string>& preferredLanguages) {
    languages_ = preferredLanguages;
    built_ = true;
    stamps_.clear();
    entries_.clear();
    byProgram_.clear();
    byWMClass_.clear();
    std::size_t files = 0;
    for (const auto& folder : folders_) readFolder(folder, files);
    for (const auto& [id, entry] : entries_) addProgramKeys(entry);
    log_.debug("Read {} applications from {} files", entries_.size(), files);
}

void DesktopEntryIndex::readFolder(const fs::path& root, std::size_t& files) {
    // Breadth first, by name, so the same tree always gives the same ids whatever the directory order.
    std::vector<std::pair<fs::path, int>> pending{{root, 0}};
    for (std::size_t next = 0; next < pending.size(); ++next) {
        const auto [folder, depth] = pending[next];
        stamps_.push_back({folder, modificationTime(folder)});
        std::vector<fs::path> desktopFiles, subfolders;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const fs::path& path = it->path();
            std::error_code ignored;
            if (it->is_symlink(ignored)) {
                // Links to entries are common (flatpak exports); links to folders could loop.
                if (path.extension() == ".desktop") desktopFiles.push_back(path);
            } else if (it->is_directory(ignored)) {
                if (depth + 1 < kMaxDepth) subfolders.push_back(path);
            } else if (path.extension() == ".desktop") {
                desktopFiles.push_back(path);
            }
            if (desktopFiles.size() + subfolders.size() > kMaxFiles) break;
        }
        std::sort(desktopFiles.begin(), desktopFiles.end());
        std::sort(subfolders.begin(), subfolders.end());
        for (const auto& path : desktopFiles) {
            if (files >= kMaxFiles) {
                log_.error("More than {} desktop entries; the rest are ignored", kMaxFiles);
                return;
            }
            ++files;
            // The id is the path below the applications folder with "/" turned into "-".
            std::string id = path.lexically_relative(root).string();
            id.resize(id.size() - kSuffix.size());
            std::replace(id.begin(), id.end(), '/', '-');
            if (id.empty() || entries_.contains(id)) continue;  // an earlier folder has it
            const auto file = DesktopEntryFile::read(path);
            if (!file) {
                log_.debug("Skipped {}: not a readable file of at most {} bytes", path.string(),
                           kMaxFileBytes);
                continue;
            }
            if (auto entry = file->toEntry(id, languages_)) entries_.emplace(id, std::move(*entry));
        }
        for (auto& subfolder : subfolders) {
            if (stamps_.size() + (pending.size() - next) >= kMaxFolders) break;
            pending.emplace_back(std::move(subfolder), depth + 1);
        }
    }
}

namespace {

// Lower is better: a visible entry before a hidden one, then a name equal to the id before one equal
// to the program, before a window class; ties go to the smaller id, so the choice never depends on
// the order of the files.
std::tuple<bool, int, std::string_view> rankOf(const DesktopEntry& entry, int kind) {
    return {entry.hidden, kind, entry.id};
}

}  // namespace

void DesktopEntryIndex::addProgramKeys(const DesktopEntry& entry) {
    const auto offer = [this, &entry](std::unordered_map<std::string, std::string>& map, std::string key,
                                      int kind) {
        if (key.empty()) return;
        auto [slot, inserted] = map.try_emplace(std::move(key), entry.id);
        if (inserted) return;
        const auto& current = entries_.at(slot->second);
        const int currentKind = current.id == slot->first ? 0 : (&map == &byWMClass_ ? 2 : 1);
        if (rankOf(entry, kind) < rankOf(current, currentKind)) slot->second = entry.id;
    };
    offer(byProgram_, entry.id, 0);
    offer(byProgram_, entry.executable, 1);
    offer(byProgram_, entry.tryExecutable, 1);
    offer(byWMClass_, lowerAscii(entry.startupWMClass), 2);
}

const DesktopEntry* DesktopEntryIndex::find(std::string_view id) const {
    const auto found = entries_.find(std::string(id));
    return found == entries_.end() ? nullptr : &found->second;
}

const DesktopEntry* DesktopEntryIndex::findByDesktopFile(std::string_view path) const {
    if (!path.ends_with(kSuffix) || path.size() == kSuffix.size()) return nullptr;
    const fs::path file = fs::path(path).lexically_normal();
    if (file.is_absolute()) {
        for (const auto& folder : folders_) {
            const fs::path relative = file.lexically_relative(folder.lexically_normal());
            if (relative.empty() || *relative.begin() == "..") continue;
            std::string id = relative.string();
            id.resize(id.size() - kSuffix.size());
            std::replace(id.begin(), id.end(), '/', '-');
            if (const auto* entry = find(id)) return entry;
        }
    }
    std::string id(path.substr(path.rfind('/') + 1));  // npos + 1: the whole path
    id.resize(id.size() - kSuffix.size());
    return id.empty() ? nullptr : find(id);
}

const DesktopEntry* DesktopEntryIndex::findByCgroup(std::string_view cgroupPath) const {
    // The innermost unit wins: an application's own scope sits below the slices that group it.
    while (!cgroupPath.empty()) {
        const auto slash = cgroupPath.rfind('/');
        std::string_view unit = slash == std::string_view::npos ? cgroupPath : cgroupPath.substr(slash + 1);
        cgroupPath = slash == std::string_view::npos ? std::string_view() : cgroupPath.substr(0, slash);
        const bool scope = unit.ends_with(".scope");
        if (!scope && !unit.ends_with(".service")) continue;
        unit.remove_suffix(scope ? 6 : 8);
        if (!scope) unit = unit.substr(0, unit.rfind('@'));  // the instance of a template unit

        std::vector<std::string_view> parts;
        while (parts.size() < kMaxUnitParts) {
            const auto dash = unit.find('-');
            parts.push_back(unit.substr(0, dash));
            if (dash == std::string_view::npos) break;
            unit.remove_prefix(dash + 1);
        }
        // app[-<launcher>]-<id>[-<random>], or dbus-:<bus>-<id> for D-Bus activated services.
        std::size_t start = 0;
        if (parts[0] == "app") {
            start = 1;
        } else if (parts[0] == "dbus" && parts.size() > 2 && parts[1].starts_with(':')) {
            start = 2;
        } else {
            continue;
        }
        const std::size_t n = parts.size();
        // A scope ends in a random part; a service usually does not, but some launchers add one.
        const std::array<std::size_t, 2> ends = scope ? std::array{n - 1, n} : std::array{n, n - 1};
        for (const std::size_t stop : ends) {
            for (std::size_t first = start; first < stop; ++first) {
                std::string candidate;
                for (std::size_t k = first; k < stop; ++k) {
                    if (k > first) candidate += '-';
                    candidate += parts[k];
                }
                if (const auto* entry = find(unescapeUnit(candidate))) return entry;
            }
        }
    }
    return nullptr;
}

const DesktopEntry* DesktopEntryIndex::findByProgram(std::string_view programName) const {
    if (isGenericProgram(programName)) return nullptr;
    const DesktopEntry* best = nullptr;
    std::tuple<bool, int, std::string_view> bestRank;
    const auto consider = [&](const std::unordered_map<std::string, std::string>& map, const std::string& key,
                              bool windowClass) {
        const auto found = map.find(key);
        if (found == map.end()) return;
        const DesktopEntry& entry = entries_.at(found->second);
        const auto rank = rankOf(entry, entry.id == key ? 0 : windowClass ? 2 : 1);
        if (!best || rank < bestRank) best = &entry, bestRank = rank;
    };
    consider(byProgram_, std::string(programName), false);
    consider(byWMClass_, lowerAscii(programName), true);
    return best;
}

}  // namespace torvel
