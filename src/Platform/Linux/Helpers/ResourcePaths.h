#pragma once

#include <filesystem>

namespace torvel {

/// Where Torvel's resources (string tables, icons, sounds) are: $TORVEL_RESOURCES when it names a
/// folder, else "<folder of the executable>/../share/torvel", which holds both in the build tree and
/// in an installed prefix. An empty path when neither exists.
std::filesystem::path resourcesDirectory();

}  // namespace torvel
