#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/AssertionTable.h"
#include "Platform/SessionRelays.h"

namespace torvel {

/// The simulated machine's assertion table: set the rows, or make the next reads fail.
class SimAssertionTable : public AssertionTable {
public:
    Result<std::vector<AssertionRecord>> read() override {
        if (failing_) return Failure{"simulated failure"};
        return records_;
    }
    void setRecords(std::vector<AssertionRecord> records) { records_ = std::move(records); }
    void setFailing(bool failing) { failing_ = failing; }

private:
    std::vector<AssertionRecord> records_;
    bool failing_ = false;
};

/// When a simulated process started unless a test says otherwise: the same in every simulated part, so
/// that the census and the signal agree on a process that did not change.
inline std::uint64_t simStartTime(std::int32_t pid) { return 1000u + static_cast<std::uint64_t>(pid); }

/// The simulated machine's processes: a name and an identity per pid, with a count of the reads.
class SimProcessInfo : public ProcessInfo {
public:
    std::string processName(std::int32_t pid) override {
        ++reads_;
        const auto it = names_.find(pid);
        return it == names_.end() ? std::string() : it->second;
    }
    std::optional<Identity> identity(std::int32_t pid) override {
        const auto it = identities_.find(pid);
        if (it == identities_.end()) return std::nullopt;
        return it->second;
    }
    void addProcess(std::int32_t pid, std::string name, std::uint32_t uid, std::string comm) {
        names_[pid] = std::move(name);
        identities_[pid] = Identity{uid, std::move(comm), simStartTime(pid)};
    }
    void setIdentity(std::int32_t pid, std::optional<Identity> identity) {
        if (identity) identities_[pid] = *identity; else identities_.erase(pid);
    }
    /// How many processName() reads the census made.
    int reads() const { return reads_; }

private:
    std::map<std::int32_t, std::string> names_;
    std::map<std::int32_t, Identity> identities_;
    int reads_ = 0;
};

/// The simulated session's relaying services: set the pids that own its names, or make lookups fail.
class SimSessionRelays : public SessionRelays {
public:
    std::vector<std::int32_t> ownerPids(std::string* error) override {
        ++lookups_;
        if (failing_ && error) *error = "simulated failure";
        return failing_ ? std::vector<std::int32_t>{} : pids_;
    }
    void setOwnerPids(std::vector<std::int32_t> pids) { pids_ = std::move(pids); }
    void setFailing(bool failing) { failing_ = failing; }
    int lookups() const { return lookups_; }

private:
    std::vector<std::int32_t> pids_;
    bool failing_ = false;
    int lookups_ = 0;
};

}  // namespace torvel
