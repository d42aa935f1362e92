#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Models/Result.h"

namespace torvel::json_errors {

/// nlohmann's messages start with "[json.exception.parse_error.101] "; the rest is what people need.
inline std::string withoutExceptionTag(std::string_view what) {
    const auto end = what.find("] ");
    return std::string(what.starts_with("[json.exception") && end != what.npos ? what.substr(end + 2) : what);
}

/// Decodes every element of a JSON array with `decode(element, index)` (a Result); the failure of the
/// first element that does not decode, when one does not.
template <typename T, typename Json, typename Decode>
Result<std::vector<T>> decodeEach(const Json& array, Decode decode) {
    std::vector<T> out;
    out.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i) {
        Result<T> value = decode(array[i], i);
        if (!value) return Failure{value.error()};
        out.push_back(std::move(value).value());
    }
    return out;
}

/// Decodes every element of a JSON array with `decode(element, index)` (a Result), going on past one
/// that does not decode: the whole list when every element does; otherwise the first failure, and the
/// elements that did decode in `readable` (may be null).
template <typename T, typename Json, typename Decode>
Result<std::vector<T>> decodeReadable(const Json& array, Decode decode, std::vector<T>* readable) {
    std::vector<T> out;
    std::optional<std::string> firstError;
    for (std::size_t i = 0; i < array.size(); ++i) {
        Result<T> value = decode(array[i], i);
        if (value) {
            out.push_back(std::move(value).value());
        } else if (!firstError) {
            firstError = value.error();
        }
    }
    if (!firstError) return out;
    if (readable) *readable = std::move(out);
    return Failure{std::move(*firstError)};
}

}  // namespace torvel::json_errors
