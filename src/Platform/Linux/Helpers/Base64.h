#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torvel {

/// Standard Base64 (RFC 4648 alphabet, with '=' padding), the form data values take in the settings file.
std::string encodeBase64(std::span<const std::uint8_t> bytes);

/// Decodes canonical padded Base64. Anything else (a character outside the alphabet, whitespace, a
/// length that is not a multiple of four, misplaced padding, stray bits in the last group): std::nullopt.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

}  // namespace torvel
