#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/ProcessRunner.h"

namespace torvel {

/// A process runner that starts nothing: it records each command and answers from a script.
class SimProcessRunner : public ProcessRunner {
public:
    /// One recorded call.
    struct Command {
        std::string path;
        std::vector<std::string> arguments;
        double timeoutSeconds = 0;
    };

    std::optional<ProcessResult> run(const std::string& path, const std::vector<std::string>& arguments,
                                     double timeoutSeconds) override;

    /// Queues the answer to the next run; with nothing queued a run has no result, as a tool that
    /// failed would.
    void enqueueResult(std::optional<ProcessResult> result);
    /// Every command run so far, in order.
    std::vector<Command> commands() const;

private:
    mutable std::mutex mutex_;  // the runner is called from worker threads
    std::deque<std::optional<ProcessResult>> script_;
    std::vector<Command> commands_;
};

}  // namespace torvel
