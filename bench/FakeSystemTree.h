#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace torvel {

/// A generated /proc and two applications folders (the user's, then the system's) in a temporary
/// folder, shaped like a busy desktop: other users' and the kernel's processes, applications found by
/// their launch environment, their systemd scope or their program, helper processes, and many
/// processes that belong to no application. Files are about the size of real ones. Removed on
/// destruction.
class FakeSystemTree {
public:
    /// The user whose processes count.
    static constexpr std::uint32_t kUser = 1000;

    /// Writes the tree under a new folder in $TMPDIR (or /tmp); see valid().
    FakeSystemTree(int processes, int desktopEntries);
    ~FakeSystemTree();
    FakeSystemTree(const FakeSystemTree&) = delete;
    FakeSystemTree& operator=(const FakeSystemTree&) = delete;

    /// False when the temporary folder could not be made.
    bool valid() const { return !root_.empty(); }
    /// Stands in for /proc.
    std::filesystem::path procRoot() const { return root_ / "proc"; }
    /// The user's applications folder, then the system's.
    std::vector<std::filesystem::path> applicationFolders() const {
        return {root_ / "user", root_ / "system"};
    }
    /// How many processes name an installed application (helpers included): what a scan must list.
    int expectedApplications() const { return expectedApplications_; }

private:
    void writeEntries(int count);
    void writeProcesses(int count, int entries);
    std::filesystem::path entryPath(int entry) const;

    std::filesystem::path root_;
    int expectedApplications_ = 0;
};

}  // namespace torvel
