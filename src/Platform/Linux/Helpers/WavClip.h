#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace torvel {

/// A short sound as 16-bit PCM, read from a WAV file. The file is outside input: anything but plain
/// 16-bit PCM with one or two channels at a sane rate is refused, and sizes are checked against the
/// bytes that are really there.
struct WavClip {
    /// Larger files are not short sounds; they are refused unread.
    static constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;

    std::uint32_t sampleRate = 0;
    std::uint16_t channels = 0;
    /// Interleaved frames; never empty in a parsed clip.
    std::vector<std::int16_t> samples;

    /// The clip in `bytes`. Failure (not a WAV, another encoding, no samples): std::nullopt.
    static std::optional<WavClip> parse(std::span<const unsigned char> bytes);
    /// The clip in the file at `path`. Failure (unreadable, too large, as parse()): std::nullopt.
    static std::optional<WavClip> read(const std::filesystem::path& path);
};

}  // namespace torvel
