// Feeds arbitrary bytes to the profile list reader. Whatever it accepts must survive being written
// and read again unchanged, since every start-up rewrites the list it loaded.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Models/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto decoded = torvel::profilesFromJson(input);
    if (!decoded) return 0;
    const auto encoded = torvel::profilesToJson(*decoded);
    if (!encoded) std::abort();
    const auto again = torvel::profilesFromJson(*encoded);
    if (!again || *again != *decoded) std::abort();
    return 0;
}
