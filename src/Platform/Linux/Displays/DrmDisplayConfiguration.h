#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/DisplayConfiguration.h"
#include "Platform/Log.h"

namespace torvel {

class UdevSubsystemWatch;

/// Mirroring as the graphics cards see it, for when Torvel has no display connection: connected
/// connectors are the online displays, and two of them driven by the same CRTC of one card show the
/// same picture. Reads the current routing only (no connector probe, which can take a second).
/// Changes come as udev "drm" events, reported as finished reconfigurations; nothing is polled.
class DrmDisplayConfiguration : public DisplayConfiguration {
public:
    /// One connected connector and the CRTC that drives it (0: none, the connector is dark).
    struct Route {
        DisplayID display = 0;
        std::uint32_t crtc = 0;
        /// The connector's sysfs name (card0-eDP-1).
        std::string name;
    };

    explicit DrmDisplayConfiguration(LogSink& log, std::filesystem::path devices = "/dev/dri",
                                     std::filesystem::path sysfs = "/sys/class/drm");
    ~DrmDisplayConfiguration() override;

    /// Reads every card afresh; a card that cannot be opened or read adds no display.
    std::vector<DisplayID> onlineDisplays(std::size_t maxCount) override;
    /// Answers from the routes the last onlineDisplays() read.
    bool isInMirrorSet(DisplayID display) override;
    /// The displays of one card that share a lit CRTC with another of them.
    static std::set<DisplayID> mirrored(const std::vector<Route>& routes);
    /// The routes whose connector folder under `sysfs` reads connected and enabled, in order.
    static std::vector<Route> lit(std::vector<Route> routes, const std::filesystem::path& sysfs);

private:
    /// Listens to udev only while someone listens here.
    void setFollowing(bool following);
    std::vector<Route> readCard(const std::filesystem::path& node, std::uint32_t cardIndex);

    Logger log_;
    std::filesystem::path devices_;
    std::filesystem::path sysfs_;
    std::set<DisplayID> mirrored_;
    std::unique_ptr<UdevSubsystemWatch> watch_;
};

}  // namespace torvel
