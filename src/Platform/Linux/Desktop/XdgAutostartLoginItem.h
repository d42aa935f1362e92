#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "Platform/LoginItem.h"

namespace torvel {

/// Starting at login through the desktop's XDG autostart folder: the entry
/// `$XDG_CONFIG_HOME/autostart/com.torvel.Torvel.desktop` starts Torvel unless it says Hidden=true or
/// X-GNOME-Autostart-enabled=false. An entry Torvel wrote is written whole and removed again; one the
/// user edited keeps every line of theirs and only has its switch flipped. The file is untrusted: read
/// only when it is a regular file of at most kMaxBytes, and never overwritten when it cannot be read.
class XdgAutostartLoginItem : public LoginItem {
public:
    static constexpr std::size_t kMaxBytes = 64 * 1024;

    /// The entry at `file` (std::nullopt: there is no configuration folder), starting `exec` (the Exec
    /// value as written in the file).
    XdgAutostartLoginItem(std::optional<std::filesystem::path> file, std::string exec);

    /// The entry's place for this user: $XDG_CONFIG_HOME, else ~/.config; std::nullopt without a home.
    static std::optional<std::filesystem::path> defaultPath();
    /// The Exec value for the running program: "torvel" when the torvel found on PATH is this program,
    /// else its absolute path, quoted as desktop entries require. Falls back to "torvel" when the program
    /// cannot be found or its path cannot be written in an entry.
    static std::string execCommand();
    /// The entry written to switch starting at login on.
    std::string entryText() const;

    bool isEnabled() const override;
    std::optional<std::string> enable() override;
    std::optional<std::string> disable() override;

private:
    /// Writes `text` in place of the entry (through a symbolic link, so a linked entry stays linked).
    std::optional<std::string> write(const std::filesystem::path& target, const std::string& text) const;

    std::optional<std::filesystem::path> file_;
    std::string exec_;
};

}  // namespace torvel
