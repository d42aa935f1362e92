#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvel {

/// One installed application as its desktop entry describes it.
struct DesktopEntry {
    /// The desktop-file id: "org.gnome.Terminal", or "kde4-dolphin" for kde4/dolphin.desktop.
    std::string id;
    /// Name in the most preferred language the entry has; std::nullopt when it has no Name.
    std::optional<std::string> name;
    /// File name of the program Exec starts ("firefox-esr"); empty when there is none.
    std::string executable;
    /// File name of TryExec; empty when there is none.
    std::string tryExecutable;
    /// StartupWMClass; empty when there is none.
    std::string startupWMClass;
    /// NoDisplay or Hidden: installed, but not offered to the user as an application.
    bool hidden = false;
};

/// The keys of one .desktop file's [Desktop Entry] group. The file is untrusted: it is read only when it
/// is a regular file of at most kMaxBytes, lines that do not parse are skipped, and values that are not
/// valid UTF-8 are ignored.
class DesktopEntryFile {
public:
    static constexpr std::size_t kMaxBytes = 64 * 1024;

    /// The file at `path` parsed; std::nullopt when it is not a regular file of at most kMaxBytes, or
    /// it changed size while being read.
    static std::optional<DesktopEntryFile> read(const std::filesystem::path& path);

    /// Parses the text of a .desktop file; whatever does not parse is left out.
    explicit DesktopEntryFile(std::string_view text);

    /// The application this file describes, under `id`, named in the first of `preferredLanguages`
    /// (locale names such as "cs_CZ.UTF-8@euro") it has a Name for. std::nullopt when it is not of type
    /// Application; a Hidden file always gives a (hidden) entry, since it stands for a deleted one.
    std::optional<DesktopEntry> toEntry(std::string id,
                                        const std::vector<std::string>& preferredLanguages) const;

private:
    std::optional<std::string> value(std::string_view key) const;

    std::map<std::string, std::string, std::less<>> keys_;
};

}  // namespace torvel
