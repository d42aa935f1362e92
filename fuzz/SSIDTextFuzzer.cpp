// Feeds arbitrary bytes, as any access point may broadcast, to the network-name text form. The text must
// be valid UTF-8 without control characters, and reading its escapes back must give the bytes again:
// then no two networks can share a name.

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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    std::abort();
}

std::string bytesOf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        require(c >= 0x20 && c != 0x7F);
        if (c != '\\') {
            out += text[i];
            continue;
        }
        require(i + 1 < text.size());
        if (text[i + 1] == '\\') {
            out += '\\';
            i += 1;
        } else {
            require(text[i + 1] == 'x' && i + 3 < text.size());
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string text = torvel::ssidFromBytes(input);
    require(bytesOf(text) == input);
    // Valid UTF-8 is kept as it is, so the text of the text escapes nothing but backslashes.
    std::string doubled;
    for (char c : text) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    require(torvel::ssidFromBytes(text) == doubled);
    return 0;
}
