#include "Monitors/ThermalMonitor.h"

namespace torvel {

ThermalMonitor::ThermalMonitor(Thermal& thermal, Scheduler& scheduler, LogSink& log)
    : thermal_(thermal), scheduler_(scheduler), log_(log, "ThermalMonitor") {}

void ThermalMonitor::refresh() {
    const std::optional<ThermalState> read = thermal_.readState();
    if (!read) {
        // Once: a machine without sensors would otherwise log every few seconds of every session.
        if (!failureLogged_)
            log_.info("No thermal reading; the last known state ({}) stays", toString(currentState_));
        failureLogged_ = true;
        unreadable_ = true;
        updatePolling();
        return;
    }
    failureLogged_ = false;
    unreadable_ = false;
    const ThermalState state = *read;
    if (state == currentState_) {
        updatePolling();
        return;
    }
    log_.info("Thermal state changed: {}", toString(state));
    currentState_ = state;
    // The timer is settled first: the callback may re-enter through setNeeded().
    updatePolling();
    // An observer may destroy the monitor; nothing of it is touched afterwards.
    stateChanged.emit(state);
}

void ThermalMonitor::setNeeded(bool needed) {
    needed_ = needed;
    updatePolling();
}

void ThermalMonitor::readIfNeeded() {
    if (needed_ && !unreadable_ && !pollTimer_) refresh();
}

void ThermalMonitor::updatePolling() {
    // Cool, the machine is read only when the state asks (its heartbeat); warm, every few seconds,
    // needed or not, so that a heat stop still ends when the machine cools or the sensors come back.
    const bool wanted = currentState_ != ThermalState::nominal;
    if (!wanted) {
        pollTimer_.reset();
    } else if (!pollTimer_) {
        pollTimer_ = scheduler_.every(kPollSeconds, [this] { refresh(); });
    }
}

}  // namespace torvel
