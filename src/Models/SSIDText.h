#pragma once

#include <string>
#include <string_view>

namespace torvel {

/// The text form of a network name, which on the air is up to 32 arbitrary bytes. Valid UTF-8 stays as
/// it is; a byte that is not part of valid UTF-8, a control character (so a name never breaks a log line,
/// a notice or the stored list) and DEL become "\xNN"; a backslash becomes "\\". Every byte string has
/// its own text, so two different networks never compare equal, and the text is valid UTF-8.
std::string ssidFromBytes(std::string_view bytes);

}  // namespace torvel
