#pragma once

#include <memory>
#include <utility>

#include "Platform/Lid.h"
#include "Platform/Log.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Follows the laptop's lid and passes on each change of it, once: systems that announce a change
/// several times, or announce what is no change, cause one call only.
class LidStateMonitor {
public:
    LidStateMonitor(Lid& lid, LogSink& log);
    ~LidStateMonitor();
    LidStateMonitor(const LidStateMonitor&) = delete;
    LidStateMonitor& operator=(const LidStateMonitor&) = delete;

    /// Takes the lid as it is now (an unreadable lid counts as open) and starts following it.
    void startMonitoring();
    /// Told every lid state (closed) that differs from the one before.
    Signal<bool> lidChanged;
    /// The last state seen; open until one is read.
    bool isClosed() const { return isClosed_; }
    /// Reads the lid; a changed state goes to the callback, an unreadable one is ignored.
    void handleNotification();
    /// Whether the application state depends on lid changes the system does not announce.
    void setNeeded(bool needed);

    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<LidStateMonitor> weakSelf() { return lifetime_.weakPointer(*this); }

private:
    Lid& lid_;
    Logger log_;
    bool isClosed_ = false;
    bool needed_ = false;
    Connection lidChanged_;
    Lifetime lifetime_;
};

}  // namespace torvel
