#include "Platform/Sim/SimProcessRunner.h"

namespace torvel {

std::optional<ProcessResult> SimProcessRunner::run(const std::string& path,
                                                   const std::vector<std::string>& arguments,
                                                   double timeoutSeconds) {
    const std::lock_guard lock(mutex_);
    commands_.push_back({path, arguments, timeoutSeconds});
    if (script_.empty()) return std::nullopt;
    auto result = std::move(script_.front());
    script_.pop_front();
    return result;
}

void SimProcessRunner::enqueueResult(std::optional<ProcessResult> result) {
    const std::lock_guard lock(mutex_);
    script_.push_back(std::move(result));
}

std::vector<SimProcessRunner::Command> SimProcessRunner::commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
}

}  // namespace torvel
