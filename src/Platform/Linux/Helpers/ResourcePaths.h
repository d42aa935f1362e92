#pragma once

#include <filesystem>
#include <string_view>

namespace torvel {

/// Where Torvel's resources (string tables, icons, sounds) are: $TORVEL_RESOURCES when it names a
/// folder, else "<folder of the executable>/../share/torvel", which holds both in the build tree and
/// in an installed prefix. An empty path when neither exists.
std::filesystem::path resourcesDirectory();

/// Torvel's helper program `name` (the window process, the XEmbed tray): beside the executable in the
/// build tree, else in the libexec folder of the prefix it was installed to. Empty when neither holds
/// an executable file of that name.
std::filesystem::path helperProgram(std::string_view name);

}  // namespace torvel
