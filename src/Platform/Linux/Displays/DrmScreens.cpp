#include "Platform/Linux/Displays/DrmScreens.h"

#include <fstream>
#include <regex>
#include <string>

#include "Platform/Linux/Helpers/UdevSubsystemWatch.h"

namespace torvel {

namespace {

// The first line of a small sysfs file, without its line end; empty when unreadable. Reads at most
// a few bytes: a status is one short word, and anything longer is not one.
std::string readStatus(const std::filesystem::path& file) {
    std::ifstream in(file);
    char buffer[32] = {};
    in.read(buffer, sizeof buffer - 1);
    std::string text(buffer, static_cast<std::size_t>(in.gcount()));
    if (const auto end = text.find_first_of("\r\n"); end != std::string::npos) text.resize(end);
    return text;
}

}  // namespace

DrmScreens::DrmScreens(LogSink& log, std::filesystem::path root)
    : Screens([this](bool following) { setFollowing(following); }),
      log_(log, "Displays"),
      root_(std::move(root)) {}

DrmScreens::~DrmScreens() = default;

int DrmScreens::screenCount() {
    // Connectors are named card<N>-<type>-<index>; the cards themselves (card0) and render nodes are
    // not screens.
    static const std::regex connectorName(R"(card[0-9]+-.+)");
    std::error_code error;
    std::filesystem::directory_iterator it(root_, error);
    if (error) {
        if (!reportedUnreadable_)
            log_.error("Cannot read {}: {}; counting no screens", root_.string(), error.message());
        reportedUnreadable_ = true;
        return 0;
    }
    int count = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (!std::regex_match(name, connectorName)) continue;
        if (isLit(it->path())) ++count;
    }
    return count;
}

bool DrmScreens::isLit(const std::filesystem::path& connector) {
    // A laptop panel stays "connected" with the lid closed; the desktop turns it off, and the kernel
    // then reads it as "disabled".
    return readStatus(connector / "status") == "connected" && readStatus(connector / "enabled") == "enabled";
}

void DrmScreens::setFollowing(bool following) {
    if (!following) {
        watch_.reset();
        return;
    }
    if (watch_) return;
    auto watch = UdevSubsystemWatch::create("drm", [this] { changed.emit(); });
    if (!watch) {
        log_.error("Cannot follow display changes ({}); screens are counted only at start", watch.error());
        return;
    }
    watch_ = std::move(watch).value();
}

}  // namespace torvel
