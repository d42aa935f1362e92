#include "Platform/Linux/Displays/DrmDisplayConfiguration.h"

#include <fcntl.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <algorithm>
#include <regex>
#include <string>

#include "Platform/Linux/Displays/DrmScreens.h"
#include "Platform/Linux/Helpers/FileDescriptor.h"
#include "Platform/Linux/Helpers/UdevSubsystemWatch.h"

namespace torvel {

namespace {

// Connector ids are small per card; the card index in the high bits keeps ids of two cards apart.
constexpr int kCardShift = 24;
constexpr std::uint32_t kConnectorMask = (1u << kCardShift) - 1;

}  // namespace

DrmDisplayConfiguration::DrmDisplayConfiguration(LogSink& log, std::filesystem::path devices,
                                                 std::filesystem::path sysfs)
    : DisplayConfiguration([this](bool following) { setFollowing(following); }),
      log_(log, "Mirroring"),
      devices_(std::move(devices)),
      sysfs_(std::move(sysfs)) {}

DrmDisplayConfiguration::~DrmDisplayConfiguration() = default;

std::set<DisplayID> DrmDisplayConfiguration::mirrored(const std::vector<Route>& routes) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<DisplayID>> byCrtc;
    for (const auto& route : routes) {
        if (route.crtc == 0) continue;
        byCrtc[{route.display >> kCardShift, route.crtc}].push_back(route.display);
    }
    std::set<DisplayID> out;
    for (const auto& [crtc, displays] : byCrtc) {
        if (displays.size() > 1) out.insert(displays.begin(), displays.end());
    }
    return out;
}

std::vector<DrmDisplayConfiguration::Route> DrmDisplayConfiguration::lit(std::vector<Route> routes,
                                                                         const std::filesystem::path& sysfs) {
    std::erase_if(routes, [&](const Route& route) {
        return route.name.empty() || route.name.find('/') != std::string::npos ||
               !DrmScreens::isLit(sysfs / route.name);
    });
    return routes;
}

std::vector<DrmDisplayConfiguration::Route> DrmDisplayConfiguration::readCard(
    const std::filesystem::path& node, std::uint32_t cardIndex) {
    std::vector<Route> routes;
    FileDescriptor fd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return routes;  // no access (not in the video group): no displays from this card
    drmModeRes* resources = drmModeGetResources(fd.get());
    if (!resources) return routes;
    for (int i = 0; i < resources->count_connectors; ++i) {
        // "Current" reads what the kernel knows without probing the connector again.
        drmModeConnector* connector = drmModeGetConnectorCurrent(fd.get(), resources->connectors[i]);
        if (!connector) continue;
        if (connector->connection == DRM_MODE_CONNECTED && (connector->connector_id & ~kConnectorMask) == 0) {
            // The kernel names the connector's sysfs folder card<N>-<type>-<index>, as libdrm names the type.
            const char* type = drmModeGetConnectorTypeName(connector->connector_type);
            Route route{(cardIndex << kCardShift) | connector->connector_id, 0,
                        type ? "card" + std::to_string(cardIndex) + "-" + type + "-" +
                                   std::to_string(connector->connector_type_id)
                             : std::string()};
            if (connector->encoder_id != 0) {
                if (drmModeEncoder* encoder = drmModeGetEncoder(fd.get(), connector->encoder_id)) {
                    route.crtc = encoder->crtc_id;
                    drmModeFreeEncoder(encoder);
                }
            }
            routes.push_back(route);
        }
        drmModeFreeConnector(connector);
    }
    drmModeFreeResources(resources);
    return routes;
}

std::vector<DisplayID> DrmDisplayConfiguration::onlineDisplays(std::size_t maxCount) {
    static const std::regex cardName(R"(card([0-9]{1,3}))");
    std::vector<std::pair<std::uint32_t, std::filesystem::path>> cards;
    std::error_code error;
    for (std::filesystem::directory_iterator it(devices_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::smatch match;
        if (std::regex_match(name, match, cardName))
            cards.emplace_back(static_cast<std::uint32_t>(std::stoul(match[1].str())), it->path());
    }
    std::sort(cards.begin(), cards.end());
    std::vector<Route> routes;
    for (const auto& [index, node] : cards) {
        auto cardRoutes = readCard(node, index);
        routes.insert(routes.end(), cardRoutes.begin(), cardRoutes.end());
    }
    routes = lit(std::move(routes), sysfs_);
    mirrored_ = mirrored(routes);
    std::vector<DisplayID> out;
    for (const auto& route : routes) {
        if (out.size() >= maxCount) break;
        out.push_back(route.display);
    }
    return out;
}

bool DrmDisplayConfiguration::isInMirrorSet(DisplayID display) {
    return mirrored_.count(display) > 0;
}

void DrmDisplayConfiguration::setFollowing(bool following) {
    if (!following) {
        watch_.reset();
        return;
    }
    if (watch_) return;
    // udev tells only that something changed, once it is done: one finished reconfiguration.
    auto watch = UdevSubsystemWatch::create("drm", [this] { reconfiguration.emit(0, false); });
    if (!watch) {
        log_.error("Cannot follow display changes ({}); mirroring is read only at start", watch.error());
        return;
    }
    watch_ = std::move(watch).value();
}

}  // namespace torvel
