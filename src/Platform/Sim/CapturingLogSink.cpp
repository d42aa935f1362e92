#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {

void CapturingLogSink::write(LogLevel level, std::string_view category, std::string_view message) {
    lines_.push_back(Line{level, std::string(category), std::string(message)});
}

std::vector<std::string> CapturingLogSink::messages(std::string_view category) const {
    std::vector<std::string> out;
    for (const auto& line : lines_) {
        if (line.category == category) out.push_back(line.message);
    }
    return out;
}

bool CapturingLogSink::contains(std::string_view category, std::string_view text) const {
    for (const auto& line : lines_) {
        if (line.category == category && line.message.find(text) != std::string::npos) return true;
    }
    return false;
}

void StreamLogSink::write(LogLevel level, std::string_view category, std::string_view message) {
    if (static_cast<int>(level) < static_cast<int>(minimum_)) return;
    std::fprintf(stream_, "[%.*s] %.*s\n", static_cast<int>(category.size()), category.data(),
                 static_cast<int>(message.size()), message.data());
    std::fflush(stream_);
}

}  // namespace torvel
