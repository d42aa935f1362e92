#pragma once

#include <string>
#include <string_view>

namespace torvel {

/// The text form of a network name, which on the air is up to 32 arbitrary bytes. Valid UTF-8 stays as
/// it is; a byte that is not part of valid UTF-8, a control character (so a name never breaks a log line,
/// a notice or the stored list) and DEL become "\xNN"; a backslash becomes "\\". Every byte string has
/// its own text, so two different networks never compare equal, and the text is valid UTF-8.
std::string ssidFromBytes(std::string_view bytes);

/// The bytes a name typed or stored as text stands for, undoing ssidFromBytes(): "\\" is a backslash,
/// "\xNN" (either case) the byte NN, and a backslash starting neither is itself, as someone typing a
/// name with a backslash in it means. ssidToBytes(ssidFromBytes(b)) == b for every b.
std::string ssidToBytes(std::string_view text);

/// The one form in which names are compared: a typed name, a stored one and one read from the air are
/// the same network exactly when these agree. A seen name is already in it.
std::string canonicalSSID(std::string_view text);

}  // namespace torvel
