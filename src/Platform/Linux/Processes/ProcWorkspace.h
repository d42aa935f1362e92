#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/Linux/Helpers/DesktopEntryIndex.h"
#include "Platform/Linux/Helpers/ProcessExitWatch.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/SystemLocale.h"
#include "Platform/Workspace.h"

namespace torvel {

/// The user's running applications read from /proc and matched to installed desktop entries. A
/// process belongs to the first entry found by:
///  1. its environment: GIO_LAUNCHED_DESKTOP_FILE (honoured only in the process the launcher started,
///     per GIO_LAUNCHED_DESKTOP_FILE_PID, not in its descendants that inherit it) or BAMF_DESKTOP_FILE_HINT;
///  2. its cgroup: the scope or service systemd gives a launched application;
///  3. its program: the executable's file name, argv[0], then comm, against Exec, TryExec,
///     StartupWMClass and the id.
/// Processes matching no entry are left out. A process is regular when its entry is neither NoDisplay
/// nor Hidden and its parent is not the same application (a browser's helper processes are not).
///
/// The kernel announces no launches to an ordinary user, so while someone listens to applicationsChanged
/// the list is read again every kRescanSeconds; without a listener nothing runs in the background.
class ProcWorkspace : public Workspace {
public:
    /// Often enough that "keep awake while X runs" reacts before the user looks again; rare enough that
    /// a scan (one small file per known process) costs nothing noticeable.
    static constexpr double kRescanSeconds = 3.0;
    /// Used to watch for exits where pidfd_open is not available.
    static constexpr double kExitPollSeconds = kProcessExitPollSeconds;

    struct Options {
        std::filesystem::path procRoot = "/proc";
        /// Empty: DesktopEntryIndex::defaultApplicationFolders().
        std::vector<std::filesystem::path> applicationFolders{};
        /// Whose processes count; std::nullopt: this process's real user.
        std::optional<std::uint32_t> uid{};
        /// False: watch exits by polling, as on kernels without pidfd_open.
        bool usePidfd = true;
    };

    /// `scheduler` and `locale` must outlive the workspace and every watch it returns.
    ProcWorkspace(Scheduler& scheduler, const SystemLocale& locale, LogSink& log, Options options);

    /// Ordered by process id.
    std::vector<WorkspaceApplication> runningApplications() override;
    bool processExists(std::int32_t pid) override;
    /// pidfd_open with a socket notifier on the Qt event loop; polled on kernels without it.
    std::unique_ptr<ProcessWatch> watchExit(std::int32_t pid, std::function<void()> onExit) override;

private:
    /// What a process was found to be, kept while it runs the same program: the kernel's start time
    /// tells a recycled process id, the name an exec of another program.
    struct Match {
        std::uint64_t startTime = 0;
        std::string comm;
        /// Whether the user's own; another user's process is never matched.
        bool ours = false;
        std::optional<std::string> id;
        /// The scan that last saw it; 0: not read yet.
        std::uint64_t generation = 0;
    };
    struct Process {
        std::int32_t pid = 0;
        std::int32_t parent = 0;
        std::optional<std::string> id;
    };

    std::vector<Process> scan();
    std::optional<std::string> match(std::int32_t pid, const std::string& executable,
                                     const std::string& comm);
    std::vector<WorkspaceApplication> applicationsFrom(const std::vector<Process>& processes) const;
    /// Rescans while someone listens; applicationsChanged tells when the set of regular applications
    /// (process id and desktop id) changed.
    void setRescanning(bool rescanning);
    void rescan();

    Scheduler& scheduler_;
    const SystemLocale& locale_;
    Logger log_;
    std::filesystem::path procRoot_;
    std::uint32_t uid_;
    bool usePidfd_;
    DesktopEntryIndex index_;
    std::unordered_map<std::int32_t, Match> matches_;
    Timer rescan_;
    std::vector<std::pair<std::int32_t, std::string>> lastSeen_;
    std::uint64_t generation_ = 0;
    bool reportedUnreadable_ = false;
};

}  // namespace torvel
