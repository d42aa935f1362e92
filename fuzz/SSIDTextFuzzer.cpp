// Feeds arbitrary bytes, as any access point may broadcast or anyone may type, to the network-name text
// form. The text must be valid UTF-8 without control characters, and reading its escapes back must give
// the bytes again: then no two networks can share a name. Typed names meet seen ones in one form.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Models/SSIDText.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string text = torvel::ssidFromBytes(input);
    for (char c : text) require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    require(torvel::ssidToBytes(text) == input);
    // A seen name is already in the compared form, and that form is stable.
    require(torvel::canonicalSSID(text) == text);
    const std::string typed = torvel::canonicalSSID(input);
    require(torvel::canonicalSSID(typed) == typed);
    // Valid UTF-8 is kept as it is, so the text of the text escapes nothing but backslashes.
    std::string doubled;
    for (char c : text) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    require(torvel::ssidFromBytes(text) == doubled);
    return 0;
}
