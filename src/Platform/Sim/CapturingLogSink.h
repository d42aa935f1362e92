#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "Platform/Log.h"

namespace torvel {

/// Keeps every log line, for tests to read.
class CapturingLogSink : public LogSink {
public:
    struct Line {
        LogLevel level;
        std::string category;
        std::string message;
    };

    void write(LogLevel level, std::string_view category, std::string_view message) override;
    bool revealsPrivate() const override { return reveal_; }
    void setRevealsPrivate(bool reveal) { reveal_ = reveal; }

    const std::vector<Line>& lines() const { return lines_; }
    /// Messages of one category, in order.
    std::vector<std::string> messages(std::string_view category) const;
    /// True when some line of `category` contains `text`.
    bool contains(std::string_view category, std::string_view text) const;
    void clear() { lines_.clear(); }

private:
    std::vector<Line> lines_;
    bool reveal_ = false;
};

/// Writes log lines to a stream as "[category] message"; the demo's console log.
class StreamLogSink : public LogSink {
public:
    explicit StreamLogSink(std::FILE* stream, LogLevel minimum = LogLevel::info)
        : stream_(stream), minimum_(minimum) {}
    void write(LogLevel level, std::string_view category, std::string_view message) override;

private:
    std::FILE* stream_;
    LogLevel minimum_;
};

}  // namespace torvel
