#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace torvel::json_errors {

/// Hands `message` to a caller that asked for it (`error` may be null).
inline void fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

/// nlohmann's messages start with "[json.exception.parse_error.101] "; the rest is what people need.
inline std::string withoutExceptionTag(std::string_view what) {
    const auto end = what.find("] ");
    return std::string(what.starts_with("[json.exception") && end != what.npos ? what.substr(end + 2) : what);
}

}  // namespace torvel::json_errors
