#include "Platform/Linux/Helpers/WavClip.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

namespace torvel {

namespace {

std::uint32_t le32(std::span<const unsigned char> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

std::uint16_t le16(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool tagIs(std::span<const unsigned char> b, std::size_t at, std::string_view tag) {
    return std::string_view(reinterpret_cast<const char*>(b.data() + at), 4) == tag;
}

constexpr std::uint16_t kFormatPCM = 1;

}  // namespace

std::optional<WavClip> WavClip::parse(std::span<const unsigned char> bytes) {
    if (bytes.size() < 12 || !tagIs(bytes, 0, "RIFF") || !tagIs(bytes, 8, "WAVE")) return std::nullopt;
    WavClip clip;
    bool haveFormat = false;
    // Chunks follow one another; sizes are read as 64-bit so that a huge size cannot wrap the offset.
    std::uint64_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint64_t size = le32(bytes, at + 4);
        const std::uint64_t body = at + 8;
        const std::uint64_t available = bytes.size() - body;
        if (tagIs(bytes, at, "fmt ")) {
            if (size < 16 || available < 16) return std::nullopt;
            const auto format = le16(bytes, body), channels = le16(bytes, body + 2);
            const auto rate = le32(bytes, body + 4);
            const auto blockAlign = le16(bytes, body + 12), bits = le16(bytes, body + 14);
            if (format != kFormatPCM || bits != 16 || channels < 1 || channels > 2 || rate < 8000 ||
                rate > 192000 || blockAlign != channels * 2)
                return std::nullopt;
            clip.channels = channels;
            clip.sampleRate = rate;
            haveFormat = true;
        } else if (tagIs(bytes, at, "data")) {
            if (!haveFormat) return std::nullopt;
            // A file cut short keeps the whole frames that are there.
            const std::uint64_t frameBytes = clip.channels * 2u;
            const std::uint64_t usable = (size < available ? size : available) / frameBytes * frameBytes;
            clip.samples.resize(usable / 2);
            for (std::size_t i = 0; i < clip.samples.size(); ++i)
                clip.samples[i] = static_cast<std::int16_t>(le16(bytes, body + 2 * i));
            if (clip.samples.empty()) return std::nullopt;
            return clip;
        }
        at = body + size + (size & 1);  // chunks are padded to an even length
    }
    return std::nullopt;
}

std::optional<WavClip> WavClip::read(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFileBytes || !std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The file may have grown since it was measured.
    if (bytes.size() > kMaxFileBytes) return std::nullopt;
    return parse(bytes);
}

}  // namespace torvel
