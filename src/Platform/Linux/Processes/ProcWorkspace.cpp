#include "Platform/Linux/Processes/ProcWorkspace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <set>
#include <string_view>
#include <system_error>

namespace torvel {

namespace fs = std::filesystem;

namespace {

// Bounds on what one process may make us read; the files are far smaller in practice except environ,
// where the variables we want come early (launchers add them to a copy of their own environment).
constexpr std::size_t kMaxStatusBytes = 16 * 1024;
constexpr std::size_t kMaxStatBytes = 4 * 1024;
constexpr std::size_t kMaxEnvironBytes = 256 * 1024;
constexpr std::size_t kMaxCgroupBytes = 16 * 1024;
constexpr std::size_t kMaxCmdlineBytes = 4 * 1024;
constexpr std::size_t kMaxPathBytes = 4096;
// pid_max is at most 2^22; more entries than that is not /proc.
constexpr std::size_t kMaxProcesses = 1u << 22;

// Up to `limit` bytes of a file (a /proc file reports size 0, so its size cannot be checked first).
std::optional<std::string> readBounded(const fs::path& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::string text;
        char buffer[4096];
        ssize_t got = 0;
        while (text.size() < limit &&
               (got = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()))) > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        if (got >= 0) result = std::move(text);
    }
    ::close(fd);
    return result;
}

// /proc/PID/stat relative to an open /proc, into `buffer`: usually a single read, as the kernel writes
// the whole line at once; the rest is read only when the line has not ended yet. Empty when unreadable.
std::string_view readStat(int procFd, std::int32_t pid, std::array<char, kMaxStatBytes>& buffer) {
    char name[32];
    const auto [end, error] = std::to_chars(name, name + sizeof name - 6, pid);
    if (error != std::errc()) return {};
    std::memcpy(end, "/stat", 6);
    const int fd = ::openat(procFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    std::size_t size = 0;
    ssize_t got = 0;
    while (size < buffer.size() && (got = ::read(fd, buffer.data() + size, buffer.size() - size)) > 0) {
        size += static_cast<std::size_t>(got);
        if (buffer[size - 1] == '\n') break;
    }
    ::close(fd);
    return got < 0 ? std::string_view() : std::string_view(buffer.data(), size);
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The value of "Key:" in /proc/PID/status, up to the end of its line.
std::optional<std::string_view> statusField(std::string_view status, std::string_view key) {
    std::size_t at = 0;
    while (at < status.size()) {
        const auto end = std::min(status.find('\n', at), status.size());
        const std::string_view line = status.substr(at, end - at);
        if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':')
            return line.substr(key.size() + 1);
        at = end + 1;
    }
    return std::nullopt;
}

// The real uid: the first of the four ids on the "Uid:" line.
std::optional<std::uint32_t> realUid(std::string_view status) {
    auto field = statusField(status, "Uid");
    if (!field) return std::nullopt;
    const auto first = field->find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    field->remove_prefix(first);
    return parseNumber<std::uint32_t>(field->substr(0, field->find_first_of(" \t")));
}

struct StatFacts {
    std::string comm;
    char state = '?';
    std::int32_t parent = 0;
    std::uint64_t startTime = 0;
};

// /proc/PID/stat: "pid (comm) state ppid ... starttime ...". comm may itself hold ") ", so the
// fields start after the last ')'.
std::optional<StatFacts> parseStat(std::string_view stat) {
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    StatFacts facts;
    facts.comm = std::string(stat.substr(open + 1, close - open - 1));
    std::string_view rest = stat.substr(close + 1);
    std::array<std::string_view, 20> fields;
    std::size_t count = 0, at = 0;
    // A plain loop: the fields are short, and every known process's stat is split on each scan.
    while (count < fields.size()) {
        while (at < rest.size() && rest[at] == ' ') ++at;
        if (at == rest.size()) break;
        const auto begin = at;
        while (at < rest.size() && rest[at] != ' ' && rest[at] != '\n') ++at;
        fields[count++] = rest.substr(begin, at - begin);
    }
    // Fields are numbered from 1 = pid: state is 3, ppid 4, starttime 22.
    if (count < fields.size() || fields[0].size() != 1) return std::nullopt;
    const auto parent = parseNumber<std::int32_t>(fields[1]);
    const auto startTime = parseNumber<std::uint64_t>(fields[19]);
    if (!parent || !startTime) return std::nullopt;
    facts.state = fields[0][0];
    facts.parent = *parent;
    facts.startTime = *startTime;
    return facts;
}

std::string readExecutable(const fs::path& link) {
    std::string target(kMaxPathBytes, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return {};
    target.resize(static_cast<std::size_t>(length));
    // The program was replaced on disk (an update) while it runs; it is still the same program.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
    return target;
}

std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The NUL-separated VAR=value list of /proc/PID/environ.
std::optional<std::string_view> environmentValue(std::string_view list, std::string_view name) {
    while (!list.empty()) {
        const auto end = std::min(list.find('\0'), list.size());
        const std::string_view item = list.substr(0, end);
        if (item.size() > name.size() && item.starts_with(name) && item[name.size()] == '=')
            return item.substr(name.size() + 1);
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return std::nullopt;
}

// The path of the unified hierarchy ("0::/user.slice/..."), or of systemd's own v1 hierarchy.
std::optional<std::string_view> systemdCgroup(std::string_view cgroups) {
    std::optional<std::string_view> legacy;
    while (!cgroups.empty()) {
        const auto end = std::min(cgroups.find('\n'), cgroups.size());
        const std::string_view line = cgroups.substr(0, end);
        cgroups.remove_prefix(std::min(end + 1, cgroups.size()));
        const auto colon = line.find(':');
        const auto second = colon == std::string_view::npos ? colon : line.find(':', colon + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view hierarchy = line.substr(colon + 1, second - colon - 1);
        if (line.substr(0, colon) == "0" && hierarchy.empty()) return line.substr(second + 1);
        if (hierarchy == "name=systemd") legacy = line.substr(second + 1);
    }
    return legacy;
}

}  // namespace

ProcWorkspace::ProcWorkspace(Scheduler& scheduler, const SystemLocale& locale, LogSink& log, Options options)
    : Workspace([this](bool rescanning) { setRescanning(rescanning); }),
      scheduler_(scheduler),
      locale_(locale),
      log_(log, "Workspace"),
      procRoot_(std::move(options.procRoot)),
      uid_(options.uid.value_or(::getuid())),
      usePidfd_(options.usePidfd),
      index_(options.applicationFolders.empty() ? DesktopEntryIndex::defaultApplicationFolders()
                                                : std::move(options.applicationFolders),
             log) {}

std::optional<std::string> ProcWorkspace::match(std::int32_t pid, const std::string& executable,
                                                const std::string& comm) {
    const fs::path dir = procRoot_ / std::to_string(pid);
    if (const auto environment = readBounded(dir / "environ", kMaxEnvironBytes)) {
        // Descendants inherit the variable; GLib names the process it launched.
        const auto launched = environmentValue(*environment, "GIO_LAUNCHED_DESKTOP_FILE_PID");
        if (!launched || parseNumber<std::int32_t>(*launched) == pid) {
            if (const auto file = environmentValue(*environment, "GIO_LAUNCHED_DESKTOP_FILE")) {
                if (const auto* entry = index_.findByDesktopFile(*file)) return entry->id;
            }
        }
        if (const auto hint = environmentValue(*environment, "BAMF_DESKTOP_FILE_HINT")) {
            if (const auto* entry = index_.findByDesktopFile(*hint)) return entry->id;
        }
    }
    if (const auto cgroups = readBounded(dir / "cgroup", kMaxCgroupBytes)) {
        if (const auto path = systemdCgroup(*cgroups)) {
            if (const auto* entry = index_.findByCgroup(*path)) return entry->id;
        }
    }
    std::string argv0;
    if (const auto cmdline = readBounded(dir / "cmdline", kMaxCmdlineBytes)) {
        argv0 = cmdline->substr(0, cmdline->find('\0'));
        // Programs that rewrite their title put all arguments into argv[0], separated by spaces.
        argv0 = std::string(baseName(argv0.substr(0, argv0.find(' '))));
    }
    for (const std::string_view name :
         {baseName(executable), std::string_view(argv0), std::string_view(comm)}) {
        if (const auto* entry = index_.findByProgram(name)) return entry->id;
    }
    return std::nullopt;
}

std::vector<ProcWorkspace::Process> ProcWorkspace::scan() {
    if (index_.refresh(locale_.preferredLanguages())) matches_.clear();  // new entries may match anew

    // Opened once per scan, so each process's files are found from here without walking the root again.
    DIR* proc = ::opendir(procRoot_.c_str());
    std::vector<std::int32_t> pids;
    int error = proc ? 0 : errno;
    if (proc) {
        while (pids.size() < kMaxProcesses) {
            errno = 0;  // readdir tells its end from an error only by errno
            const dirent* item = ::readdir(proc);
            if (!item) break;
            const std::string_view name(item->d_name);
            if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) continue;
            if (const auto pid = parseNumber<std::int32_t>(name); pid && *pid > 0) pids.push_back(*pid);
        }
        error = errno;
    }
    if (error) {
        if (proc) ::closedir(proc);
        if (!reportedUnreadable_)
            log_.error("Cannot list {}: {}", procRoot_.string(), std::generic_category().message(error));
        reportedUnreadable_ = true;
        return {};
    }
    reportedUnreadable_ = false;
    std::sort(pids.begin(), pids.end());

    // A process we know costs one read of its stat: the same start time and name mean the same program
    // as last time, so its owner and match are reused. Only new, recycled or re-executed processes pay
    // for status, exe and the files match() reads.
    ++generation_;
    std::vector<Process> found;
    std::array<char, kMaxStatBytes> buffer;
    for (const std::int32_t pid : pids) {
        // A process that ends while we read it simply fails a read and is left out.
        const auto stat = parseStat(readStat(::dirfd(proc), pid, buffer));
        if (!stat || stat->state == 'Z' || stat->state == 'X') continue;  // ended, not yet reaped

        Match& known = matches_[pid];
        if (known.generation == 0 || known.startTime != stat->startTime || known.comm != stat->comm) {
            const fs::path dir = procRoot_ / std::to_string(pid);
            const auto status = readBounded(dir / "status", kMaxStatusBytes);
            if (!status) {
                matches_.erase(pid);
                continue;
            }
            known = {stat->startTime, stat->comm, realUid(*status) == uid_, std::nullopt, 0};
            if (known.ours) known.id = match(pid, readExecutable(dir / "exe"), stat->comm);
        }
        known.generation = generation_;
        if (known.ours && known.id) found.push_back({pid, stat->parent, known.id});
    }
    ::closedir(proc);
    std::erase_if(matches_, [this](const auto& item) { return item.second.generation != generation_; });
    return found;
}

std::vector<WorkspaceApplication> ProcWorkspace::applicationsFrom(
    const std::vector<Process>& processes) const {
    std::unordered_map<std::int32_t, const std::string*> idOf;
    for (const auto& process : processes) idOf.emplace(process.pid, &*process.id);
    std::vector<WorkspaceApplication> out;
    out.reserve(processes.size());
    for (const auto& process : processes) {
        const DesktopEntry* entry = index_.find(*process.id);
        if (!entry) continue;
        const auto parent = idOf.find(process.parent);
        const bool helper = parent != idOf.end() && *parent->second == entry->id;
        out.push_back({entry->id, entry->name, process.pid, !entry->hidden && !helper});
    }
    return out;
}

std::vector<WorkspaceApplication> ProcWorkspace::runningApplications() {
    return applicationsFrom(scan());
}

namespace {

// What a change means to the consumer: a regular application started or ended, or an application id
// appeared or vanished altogether (its last helper process ended). Helpers coming and going while
// their application runs are no change.
std::vector<std::pair<std::int32_t, std::string>> changeKey(const std::vector<WorkspaceApplication>& apps) {
    std::set<std::pair<std::int32_t, std::string>> key;
    for (const auto& app : apps) {
        key.emplace(0, *app.desktopId);
        if (app.isRegular) key.emplace(app.pid, *app.desktopId);
    }
    return {key.begin(), key.end()};
}

}  // namespace

void ProcWorkspace::setRescanning(bool rescanning) {
    if (!rescanning) {
        rescan_.reset();
        lastSeen_.clear();
        return;
    }
    if (rescan_) return;
    lastSeen_ = changeKey(runningApplications());
    rescan_ = scheduler_.every(kRescanSeconds, [this] { rescan(); });
}

void ProcWorkspace::rescan() {
    auto key = changeKey(runningApplications());
    if (key == lastSeen_) return;
    lastSeen_ = std::move(key);
    applicationsChanged.emit();
}

bool ProcWorkspace::processExists(std::int32_t pid) {
    return pid >= 1 && ::kill(pid, 0) == 0;
}

std::unique_ptr<ProcessWatch> ProcWorkspace::watchExit(std::int32_t pid, std::function<void()> onExit) {
    return watchProcessExit(scheduler_, log_, pid, std::move(onExit), usePidfd_);
}

}  // namespace torvel
