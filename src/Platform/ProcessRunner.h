#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

/// What a command-line tool left behind when it ran to completion.
struct ProcessResult {
    /// The exit code, or the number of the signal that ended the tool.
    std::int32_t status = 0;
    /// The whole standard output as UTF-8; invalid sequences are replaced with U+FFFD.
    std::string output;
};

/// Runs one system tool to completion with a time-out and an output ceiling, so that a tool that
/// hangs or floods can neither stall its caller nor fill memory. Blocks its calling thread: call it
/// off the main loop only.
class ProcessRunner {
public:
    /// Most standard-output bytes kept; one byte more and the run has no result.
    static constexpr std::size_t outputCeiling = 1024 * 1024;
    /// How long to wait for the end of output after the tool exited.
    static constexpr double endOfOutputGraceSeconds = 1.0;
    /// How long a tool that outlived its time-out has between SIGTERM and SIGKILL.
    static constexpr double terminationGraceSeconds = 2.0;

    virtual ~ProcessRunner() = default;

    /// Runs `path` with `arguments` (not including the program name), its standard error discarded.
    /// No result (std::nullopt, with one error line logged) when it cannot start, outlives
    /// `timeoutSeconds`, keeps its output open past the end-of-output grace, or writes past the
    /// ceiling. A non-zero status is still a result. Returns within `timeoutSeconds` + 1 s.
    virtual std::optional<ProcessResult> run(const std::string& path,
                                             const std::vector<std::string>& arguments,
                                             double timeoutSeconds) = 0;
};

}  // namespace torvel
