#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace torvel {

/// The error side of a Result, as std::unexpected is std::expected's: `return Failure{"why"};`.
struct Failure {
    std::string message;
};

/// A value, or the message saying why there is none: what std::expected<T, std::string> will be, for
/// every operation that can fail. value() on a failure is a programming error (it throws, as
/// std::get does); callers test first.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit, as expected
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure.message)) {}  // NOLINT

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    /// The value, or `fallback` on a failure.
    template <typename U>
    T value_or(U&& fallback) const& {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

    /// Why there is no value; only on a failure.
    const std::string& error() const { return std::get<1>(state_); }

    /// Holds a value equal to `other`, as std::expected compares with a value.
    friend bool operator==(const Result& result, const T& other) { return result.has_value() && result.value() == other; }

private:
    std::variant<T, std::string> state_;
};

/// Success, or the message saying why not.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : error_(std::move(failure.message)) {}  // NOLINT: implicit, as expected

    bool has_value() const { return !error_; }
    explicit operator bool() const { return has_value(); }
    /// Why it failed; only on a failure.
    const std::string& error() const { return *error_; }

private:
    std::optional<std::string> error_;
};

}  // namespace torvel
