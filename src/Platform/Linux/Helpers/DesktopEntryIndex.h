#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/Linux/Helpers/DesktopEntryFile.h"
#include "Platform/Log.h"

namespace torvel {

/// The installed .desktop entries of type Application, read from the XDG applications folders.
/// Folders earlier in the list win for the same id, as launchers do. Each file is read and parsed by
/// DesktopEntryFile, which treats it as untrusted.
class DesktopEntryIndex {
public:
    static constexpr std::size_t kMaxFileBytes = DesktopEntryFile::kMaxBytes;
    /// Far beyond any real system (a few hundred entries); a folder flooded with files stops here.
    static constexpr std::size_t kMaxFiles = 10'000;
    static constexpr std::size_t kMaxFolders = 512;
    static constexpr int kMaxDepth = 4;

    DesktopEntryIndex(std::vector<std::filesystem::path> applicationFolders, LogSink& log);

    /// $XDG_DATA_HOME (or ~/.local/share), then each of $XDG_DATA_DIRS (or /usr/local/share:/usr/share),
    /// each followed by "applications".
    static std::vector<std::filesystem::path> defaultApplicationFolders();

    /// Reads the folders again when one of them changed (its modification time, which moves when a
    /// file is added, removed or renamed in it) or the languages differ from the last call. True when
    /// the entries were read again.
    bool refresh(const std::vector<std::string>& preferredLanguages);

    /// The entry with this id; nullptr when there is none.
    const DesktopEntry* find(std::string_view id) const;
    /// The entry a .desktop file path stands for: its id from its place under one of the folders, or
    /// from its file name elsewhere. nullptr when no such entry is installed.
    const DesktopEntry* findByDesktopFile(std::string_view path) const;
    /// The entry named by the systemd unit of a launched application in a cgroup path
    /// ("app-gnome-firefox\x2desr-4242.scope", "app-flatpak-org.gnome.Maps-12.scope",
    /// "app-org.kde.konsole@8e1f.service"); nullptr when the path names none.
    const DesktopEntry* findByCgroup(std::string_view cgroupPath) const;
    /// The entry whose TryExec or Exec program, StartupWMClass (ignoring ASCII case) or id is
    /// `programName`. Shells, interpreters and launchers (sh, python3, env, flatpak) name no
    /// application and give nullptr.
    const DesktopEntry* findByProgram(std::string_view programName) const;

    std::size_t size() const { return entries_.size(); }

private:
    struct FolderStamp {
        std::filesystem::path path;
        std::optional<std::pair<std::int64_t, std::int64_t>> modified;  // absent: missing
    };

    bool changedOnDisk() const;
    void rebuild(const std::vector<std::string>& preferredLanguages);
    void readFolder(const std::filesystem::path& folder, std::size_t& files);
    void addProgramKeys(const DesktopEntry& entry);

    std::vector<std::filesystem::path> folders_;
    Logger log_;
    std::vector<FolderStamp> stamps_;
    std::vector<std::string> languages_;
    bool built_ = false;
    std::unordered_map<std::string, DesktopEntry> entries_;
    /// Program names (Exec, TryExec, id) and lower-case WM classes to the best entry id for each.
    std::unordered_map<std::string, std::string> byProgram_, byWMClass_;
};

}  // namespace torvel
