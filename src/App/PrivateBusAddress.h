#pragma once

#include <sys/types.h>
#include <optional>
#include <string>

namespace torvel {

/// Where an instance on a private session bus (./scripts/run outside a desktop) leaves that bus's
/// address, so that `torvel` commands from another terminal reach it: `$XDG_RUNTIME_DIR/torvel/bus`,
/// or `/tmp/torvel-UID/bus` without XDG_RUNTIME_DIR. Whoever can write the record can point the
/// commands at a bus of their choosing, so a folder or file that is not the user's alone is not
/// trusted. Plain POSIX; no bus is touched here.
class PrivateBusAddress {
public:
    /// The record's folder for `runtimeDir` ($XDG_RUNTIME_DIR, nullptr or empty when unset).
    static std::string folderFor(const char* runtimeDir, uid_t uid);
    /// The folder for this process's environment and user.
    static std::string defaultFolder();

    /// Records `address` in `folder`, creating the folder (0700) when missing. std::nullopt on
    /// success, else why it could not be recorded.
    static std::optional<std::string> record(const std::string& folder, const std::string& address);
    /// The recorded address; std::nullopt when there is none, or the folder or file could have been
    /// written by someone else, or the content is not one printable line.
    static std::optional<std::string> read(const std::string& folder);
    /// Removes the record if it still holds `address` (a later instance may have replaced it).
    static void remove(const std::string& folder, const std::string& address);
};

}  // namespace torvel
