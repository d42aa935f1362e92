#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Linux/Displays/XcbRandrMirrors.h"
#include "Platform/Log.h"

struct xcb_connection_t;
class QSocketNotifier;

namespace torvel {

/// One connection to an X server's RandR, shared by what reads the screens and the mirrors: reads the
/// outputs driven by a CRTC and the monitors, and hears RandR's screen, CRTC and output events on the
/// connection's socket (a socket notifier; nothing is polled). A reading first takes the events already
/// waiting, so a burst of them is answered by one reading after its last event.
class XcbRandrConnection {
public:
    /// What the server reported: the outputs driven by a CRTC and the monitors (RandR 1.5).
    struct Reading {
        std::vector<XcbRandrMirrors::Output> outputs;
        std::vector<XcbRandrMirrors::Monitor> monitors;
    };

    /// Reaches the X display `display` (as in $DISPLAY) when first asked; empty: no display. Failures
    /// are logged in `log`'s category, ending with `consequence` ("no display counts as mirrored").
    XcbRandrConnection(LogSink& log, std::string category, std::string display, std::string consequence);
    ~XcbRandrConnection();
    XcbRandrConnection(const XcbRandrConnection&) = delete;
    XcbRandrConnection& operator=(const XcbRandrConnection&) = delete;

    /// Asks the server afresh; no server, no RandR 1.2 or a failed reply: nullopt.
    std::optional<Reading> read();
    /// Calls `onChange` once per batch of RandR events, and once when the server goes; an empty
    /// function stops listening.
    void follow(std::function<void()> onChange);
    /// Whether `display` takes a connection and has RandR 1.2 or later (connects and disconnects).
    static bool hasRandr(const std::string& display);

private:
    bool connect();
    void disconnect();
    void listen();
    /// Reads the events waiting; `report`: tells of a change among them (not when a reading follows).
    void drainEvents(bool report);
    /// The outputs driven by a CRTC, from the current resources or a probe; false when a reply failed.
    bool readOutputs(bool probe, std::vector<XcbRandrMirrors::Output>& outputs);

    Logger log_;
    std::string display_;
    std::string consequence_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t firstEvent_ = 0;
    bool hasMonitors_ = false;  // RandR 1.5 or later
    bool reportedUnreachable_ = false;
    std::function<void()> onChange_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace torvel
