#include "Platform/Linux/Helpers/ResourcePaths.h"

#include <cstdlib>
#include <system_error>

namespace torvel {

std::filesystem::path resourcesDirectory() {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* override = std::getenv("TORVEL_RESOURCES"); override && *override) {
        if (fs::is_directory(override, ec)) return override;
    }
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path shared = exe.parent_path().parent_path() / "share" / "torvel";
        if (fs::is_directory(shared, ec)) return shared;
    }
    return {};
}

std::filesystem::path helperProgram(std::string_view name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const fs::path folder = exe.parent_path();
    for (const fs::path& candidate : {folder / name, folder / TORVEL_LIBEXEC_FROM_BIN / name}) {
        const auto status = fs::status(candidate, ec);
        if (!ec && fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_exec) != fs::perms::none)
            return candidate.lexically_normal();
    }
    return {};
}

}  // namespace torvel
