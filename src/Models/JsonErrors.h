#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

/// Decodes every element of a JSON array with `decode(element, index, error)`; std::nullopt, with the
/// error of the first element that does not decode, when one does not.
template <typename T, typename Json, typename Decode>
std::optional<std::vector<T>> decodeEach(const Json& array, Decode decode, std::string* error) {
    std::vector<T> out;
    out.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i) {
        auto value = decode(array[i], i, error);
        if (!value) return std::nullopt;
        out.push_back(std::move(*value));
    }
    return out;
}

/// Decodes every element of a JSON array with `decode(element, index, why)`, going on past one that does
/// not decode: the whole list when every element does; otherwise std::nullopt with the first error, and
/// the elements that did decode in `readable` (may be null).
template <typename T, typename Json, typename Decode>
std::optional<std::vector<T>> decodeReadable(const Json& array, Decode decode, std::string* error,
                                             std::vector<T>* readable) {
    std::vector<T> out;
    std::optional<std::string> firstError;
    for (std::size_t i = 0; i < array.size(); ++i) {
        std::string why;
        if (auto value = decode(array[i], i, why)) {
            out.push_back(std::move(*value));
        } else if (!firstError) {
            firstError = std::move(why);
        }
    }
    if (!firstError) return out;
    fail(error, std::move(*firstError));
    if (readable) *readable = std::move(out);
    return std::nullopt;
}

}  // namespace torvel::json_errors
