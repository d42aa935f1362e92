#pragma once

#include <string_view>

namespace torvel {

/// The freedesktop icon name drawn for a menu symbol ("timer" -> "alarm-symbolic"); empty for a symbol
/// the table does not know, which then shows no icon.
std::string_view menuIconName(std::string_view symbol);

}  // namespace torvel
