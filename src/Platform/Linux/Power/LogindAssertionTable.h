#pragma once

#include <QDBusConnection>

#include "Platform/AssertionTable.h"

namespace torvel {

/// The assertion table read from logind's inhibitor locks (ListInhibitors). Each kind of a lock's
/// colon-separated list is one record: "sleep" blocks system sleep, "idle" blocks idle sleep, other
/// kinds block no sleep; mode "block" blocks, "delay" and unknown modes do not. The reason is "who: why".
class LogindAssertionTable : public AssertionTable {
public:
    /// A bound on the call, so that a stuck logind cannot hold the census.
    static constexpr int kCallTimeoutMs = 3000;

    explicit LogindAssertionTable(QDBusConnection system);
    /// Blocks up to kCallTimeoutMs; may be called from any thread.
    Result<std::vector<AssertionRecord>> read() override;

private:
    QDBusConnection system_;
};

}  // namespace torvel
