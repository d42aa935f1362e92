#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Log.h"

struct xcb_connection_t;
class QSocketNotifier;

namespace torvel {

/// Mirroring as the X server sees it through RandR: lit outputs are the online displays, and outputs
/// sharing a CRTC or shown by monitors on the same rectangle are a mirror (XcbRandrMirrors decides).
/// Reconfigurations arrive as RandR events on the connection's socket; nothing is polled.
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
    /// Listens to RandR events only while a callback is set; each batch is one finished change.
    void setOnReconfiguration(std::function<void(DisplayID, bool)> onReconfiguration) override;

private:
    bool connect();
    void disconnect();
    void listen();
    void drainEvents();

    Logger log_;
    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t firstEvent_ = 0;
    bool hasMonitors_ = false;  // RandR 1.5 or later
    bool reportedUnreachable_ = false;
    std::set<DisplayID> mirrored_;
    std::function<void(DisplayID, bool)> onReconfiguration_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace torvel
