#include "Monitors/LidStateMonitor.h"

namespace torvel {

LidStateMonitor::LidStateMonitor(Lid& lid, LogSink& log) : lid_(lid), log_(log, "LidStateMonitor") {}

LidStateMonitor::~LidStateMonitor() {
    if (needed_) lid_.setReadingNeeded(false);
}

void LidStateMonitor::startMonitoring() {
    if (const auto closed = lid_.readClosed()) isClosed_ = *closed;
    lidChanged_ = lid_.changed.connect([this] { handleNotification(); });
}

void LidStateMonitor::handleNotification() {
    const auto closed = lid_.readClosed();
    if (!closed || *closed == isClosed_) return;
    isClosed_ = *closed;
    log_.info("Lid {}", isClosed_ ? "CLOSED" : "OPENED");
    // An observer may destroy the monitor; nothing of it is touched afterwards.
    lidChanged.emit(*closed);
}

void LidStateMonitor::setNeeded(bool needed) {
    if (needed == needed_) return;
    needed_ = needed;
    lid_.setReadingNeeded(needed);
}

}  // namespace torvel
