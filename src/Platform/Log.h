#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fmt/format.h>

namespace torvel {

enum class LogLevel { debug, info, error };

/// Where log lines go (the journal, stderr, a test's capture). Every line carries the subsystem
/// "com.torvel" implicitly and the category of the component that wrote it.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, std::string_view category, std::string_view message) = 0;
    /// Whether arguments marked private (network names, URLs) are written as they are; otherwise
    /// they appear as "<private>".
    virtual bool revealsPrivate() const { return false; }
};

/// An argument that is hidden in the log unless the sink reveals private data.
struct Private {
    std::string value;
};

namespace detail {
template <typename T>
using Reveal = std::conditional_t<std::is_same_v<std::decay_t<T>, Private>, const std::string&, T>;
}

/// One logger per component category ("AppState", "SleepPrevention").
class Logger {
public:
    Logger(LogSink& sink, std::string category) : sink_(&sink), category_(std::move(category)) {}

    template <typename... Args>
    void debug(fmt::format_string<detail::Reveal<Args>...> format, Args&&... args) const {
        write(LogLevel::debug, format, std::forward<Args>(args)...);
    }
    template <typename... Args>
    void info(fmt::format_string<detail::Reveal<Args>...> format, Args&&... args) const {
        write(LogLevel::info, format, std::forward<Args>(args)...);
    }
    template <typename... Args>
    void error(fmt::format_string<detail::Reveal<Args>...> format, Args&&... args) const {
        write(LogLevel::error, format, std::forward<Args>(args)...);
    }

    const std::string& category() const { return category_; }

private:
    template <typename... Args>
    void write(LogLevel level, fmt::format_string<detail::Reveal<Args>...> format, Args&&... args) const {
        [[maybe_unused]] const bool reveal = sink_->revealsPrivate();
        sink_->write(level, category_, fmt::format(format, shown(std::forward<Args>(args), reveal)...));
    }

    template <typename T>
    static decltype(auto) shown(T&& arg, bool reveal) {
        if constexpr (std::is_same_v<std::decay_t<T>, Private>) {
            static const std::string hidden = "<private>";
            return reveal ? static_cast<const std::string&>(arg.value) : hidden;
        } else {
            return std::forward<T>(arg);
        }
    }

    LogSink* sink_;
    std::string category_;
};

}  // namespace torvel
