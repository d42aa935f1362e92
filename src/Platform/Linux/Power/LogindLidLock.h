#pragma once

#include <QDBusConnection>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Linux/Helpers/FileDescriptor.h"
#include "Platform/Log.h"

class QObject;

namespace torvel {

/// logind's "handle-lid-switch" block lock: while Torvel holds its descriptor, logind does nothing when
/// the lid closes (whatever LidSwitchIgnoreInhibited says), and the kernel closes it when Torvel dies,
/// so a crash never leaves the lid ignored. Taking it is one asynchronous Inhibit call.
class LogindLidLock {
public:
    LogindLidLock(QDBusConnection system, LogSink& log);
    /// Releases a held lock; an answer still on its way is dropped (and its lock with it).
    ~LogindLidLock();
    LogindLidLock(const LogindLidLock&) = delete;
    LogindLidLock& operator=(const LogindLidLock&) = delete;

    /// Asks logind for the lock; `done(ok)` on the main loop when it answers (false: refused, no
    /// logind, or an answer that is not a descriptor). A second lock taken replaces the first.
    void take(const std::string& why, std::function<void(bool ok)> done);
    /// Closes the descriptor now; a take still on its way is dropped when it lands.
    void release();
    bool held() const { return fd_.get() >= 0; }

private:
    QDBusConnection system_;
    Logger log_;
    std::unique_ptr<QObject> context_;  // parent of the pending calls: they die with us
    FileDescriptor fd_{-1};
    /// Bumped by every release, so that a take answered after it does not hold the lock.
    std::uint64_t generation_ = 0;
};

}  // namespace torvel
