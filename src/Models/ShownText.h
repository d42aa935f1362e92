#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvel {

/// Text taken from other processes (their names, the reasons they give) made safe to show in a menu, a
/// notice or a log line: invalid UTF-8 becomes U+FFFD, and control, format, line-separator and
/// paragraph-separator characters are removed, so a name can neither break a line nor reorder or hide
/// what follows it (bidirectional overrides, zero-width joiners).
std::string sanitizedText(std::string_view text);

/// `text` cut to its first `maxCharacters` characters (code points) with "…" appended when it was
/// longer. `text` must be valid UTF-8 (sanitizedText makes it so).
std::string cappedText(std::string text, std::size_t maxCharacters);

}  // namespace torvel
