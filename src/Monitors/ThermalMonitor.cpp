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

void ThermalMonitor::updatePolling() {
    // A machine without sensors is not read every few seconds for nothing: only before activations.
    // A warm machine is read on, so that a heat stop still ends when the sensors come back.
    const bool wanted = (needed_ && !unreadable_) || currentState_ != ThermalState::nominal;
    if (!wanted) {
        pollTimer_.reset();
    } else if (!pollTimer_) {
        pollTimer_ = scheduler_.every(kPollSeconds, [this] { refresh(); });
    }
}

}  // namespace torvel
