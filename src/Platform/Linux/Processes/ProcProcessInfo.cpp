#include "Platform/Linux/Processes/ProcProcessInfo.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>

namespace torvel {

namespace fs = std::filesystem;

namespace {

// "status" is about 1.5 KiB, "stat" a few hundred bytes and "comm" 16 bytes; anything far larger is not
// what the kernel writes.
constexpr std::size_t kMostBytes = 64 * 1024;

std::optional<std::string> readSmall(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(kMostBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The second number of the "Uid:" line (real, effective, saved, filesystem).
std::optional<std::uint32_t> effectiveUID(std::string_view status) {
    while (!status.empty()) {
        const std::size_t newline = status.find('\n');
        std::string_view line = status.substr(0, newline);
        status = newline == std::string_view::npos ? std::string_view() : status.substr(newline + 1);
        if (line.substr(0, 4) != "Uid:") continue;
        line.remove_prefix(4);
        for (int field = 0; field < 2; ++field) {
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
            std::uint32_t value = 0;
            const auto [next, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
            if (ec != std::errc() || next == line.data()) return std::nullopt;
            if (field == 1) return value;
            line.remove_prefix(static_cast<std::size_t>(next - line.data()));
        }
    }
    return std::nullopt;
}

// Field 22 of "stat", the start time in clock ticks after boot. The command name (field 2) stands in
// parentheses and may itself hold spaces and parentheses, so fields are counted from the last ')'.
std::optional<std::uint64_t> startTimeFromStat(std::string_view stat) {
    const std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    if (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
    constexpr int kStartTimeField = 22;
    for (int field = 3; field <= kStartTimeField; ++field) {
        if (rest.empty() || rest.front() != ' ') return std::nullopt;
        rest.remove_prefix(1);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view token = rest.substr(0, end);
        rest.remove_prefix(end);
        if (field < kStartTimeField) continue;
        std::uint64_t value = 0;
        const auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (ec != std::errc() || token.empty() || next != token.data() + token.size()) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::string ProcProcessInfo::processName(std::int32_t pid) {
    if (pid <= 0) return {};
    std::error_code error;
    const fs::path target = fs::read_symlink(procRoot_ / std::to_string(pid) / "exe", error);
    if (error) return {};
    std::string name = target.filename().string();
    // A replaced executable reads "name (deleted)"; the name is still the program's.
    static constexpr std::string_view kDeleted = " (deleted)";
    if (name.size() > kDeleted.size() && name.compare(name.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        name.resize(name.size() - kDeleted.size());
    return name;
}

std::optional<ProcessInfo::Identity> ProcProcessInfo::identity(std::int32_t pid) {
    if (pid <= 0) return std::nullopt;
    const fs::path folder = procRoot_ / std::to_string(pid);
    const auto status = readSmall(folder / "status");
    const auto comm = readSmall(folder / "comm");
    if (!status || !comm) return std::nullopt;
    const auto uid = effectiveUID(*status);
    if (!uid) return std::nullopt;
    std::string name = *comm;
    if (!name.empty() && name.back() == '\n') name.pop_back();
    const auto stat = readSmall(folder / "stat");
    return Identity{*uid, std::move(name), stat ? startTimeFromStat(*stat) : std::nullopt};
}

}  // namespace torvel
