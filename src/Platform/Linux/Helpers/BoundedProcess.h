#pragma once

#include <memory>

#include "Platform/Log.h"
#include "Platform/ProcessRunner.h"

namespace torvel {

/// Runs system tools with posix_spawn: standard output through a pipe read with poll, standard input
/// and error on /dev/null, every other descriptor closed in the child. The child is watched and reaped
/// through a pidfd, never a SIGCHLD handler, so the runner cannot disturb anyone else's children.
/// A tool that outlives its time-out gets SIGTERM, and SIGKILL after the termination grace from a
/// background thread, which also reaps it; the caller does not wait for that.
class BoundedProcess : public ProcessRunner {
public:
    /// Logs its failures in the "BoundedProcess" category of `sink`; the runner's own writes, the
    /// delayed kill's included, never overlap.
    explicit BoundedProcess(LogSink& sink);
    /// Waits for the delayed kills still pending, so no child is left unreaped.
    ~BoundedProcess() override;
    BoundedProcess(const BoundedProcess&) = delete;
    BoundedProcess& operator=(const BoundedProcess&) = delete;

    std::optional<ProcessResult> run(const std::string& path, const std::vector<std::string>& arguments,
                                     double timeoutSeconds) override;

    /// The delayed kills in flight and the serialised log, shared with their threads.
    struct Pending;

private:
    std::shared_ptr<Pending> pending_;
    Logger log_;
};

}  // namespace torvel
