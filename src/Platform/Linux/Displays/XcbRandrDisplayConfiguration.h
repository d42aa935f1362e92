#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Linux/Displays/XcbRandrMirrors.h"
#include "Platform/Log.h"

struct xcb_connection_t;
class QSocketNotifier;

namespace torvel {

/// Mirroring as the X server sees it through RandR: outputs driven by a CRTC are the online displays,
/// and outputs sharing a CRTC or shown by monitors at one origin, one inside the other, are a mirror
/// (XcbRandrMirrors decides). Reconfigurations arrive as RandR events on the connection's socket;
/// nothing is polled. A reading first takes the events already waiting, so a burst of them is answered
/// by one reading after its last event.
class XcbRandrDisplayConfiguration : public DisplayConfiguration {
public:
    /// Reaches the X display `display` (as in $DISPLAY) when first asked; empty: no display.
    XcbRandrDisplayConfiguration(LogSink& log, std::string display);
    ~XcbRandrDisplayConfiguration() override;
    XcbRandrDisplayConfiguration(const XcbRandrDisplayConfiguration&) = delete;
    XcbRandrDisplayConfiguration& operator=(const XcbRandrDisplayConfiguration&) = delete;

    /// Asks the server afresh; no server, no RandR or a failed reply: an empty list.
    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override;
    /// Answers from what the last onlineDisplays() read.
    bool isInMirrorSet(DisplayID display) override;

private:
    /// Listens to RandR events only while someone listens here; each batch is one finished change.
    void setFollowing(bool following);
    bool connect();
    void disconnect();
    void listen();
    /// Reads the events waiting; `report`: tells of a change among them (not when a reading follows).
    void drainEvents(bool report);
    /// The outputs driven by a CRTC, from the current resources or a probe; false when a reply failed.
    bool readOutputs(bool probe, std::vector<XcbRandrMirrors::Output>& outputs);

    Logger log_;
    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t firstEvent_ = 0;
    bool hasMonitors_ = false;  // RandR 1.5 or later
    bool reportedUnreachable_ = false;
    std::set<DisplayID> mirrored_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace torvel
