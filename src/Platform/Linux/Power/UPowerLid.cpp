#include "Platform/Linux/Power/UPowerLid.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace torvel {

namespace {

constexpr const char* kService = "org.freedesktop.UPower";
constexpr const char* kPath = "/org/freedesktop/UPower";
constexpr const char* kInterface = "org.freedesktop.UPower";
constexpr const char* kLidIsPresent = "LidIsPresent";
constexpr const char* kLidIsClosed = "LidIsClosed";

// A state file is one short line; anything longer is not one.
constexpr std::size_t kMaxStateBytes = 128;
// Machines have one lid; a folder with more entries than this is not the button folder.
constexpr std::size_t kMaxButtons = 8;

std::optional<bool> boolean(const QVariant& value) {
    if (value.typeId() != QMetaType::Bool) return std::nullopt;
    return value.toBool();
}

// "state:      closed\n" as the ACPI button driver writes it.
std::optional<bool> parseState(std::string_view text) {
    constexpr std::string_view prefix = "state:";
    if (!text.starts_with(prefix)) return std::nullopt;
    text.remove_prefix(prefix.size());
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    if (text == "closed") return true;
    if (text == "open") return false;
    return std::nullopt;
}

std::optional<bool> readStateFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    char buffer[kMaxStateBytes + 1];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0 || static_cast<std::size_t>(got) > kMaxStateBytes) return std::nullopt;
    return parseState(std::string_view(buffer, static_cast<std::size_t>(got)));
}

}  // namespace

UPowerLid::UPowerLid(QDBusConnection system, Scheduler& scheduler, LogSink& log, std::string procRoot)
    : scheduler_(scheduler),
      log_(log, "LidStateMonitor"),
      procRoot_(std::move(procRoot)),
      upower_(std::move(system), kService),
      daemon_(
          upower_, kPath, kInterface, [this] { propertiesChanged(); },
          [this](const QDBusMessage& error) { failed(error); }) {
    if (upower_.bus().isConnected() && !daemon_.subscribed())
        log_.error("Cannot subscribe to UPower's lid changes on this bus connection");
}

UPowerLid::~UPowerLid() = default;

std::optional<bool> UPowerLid::readClosed() {
    if (hasSignalSource()) return boolean(daemon_.value(kLidIsClosed));
    return buttonClosed_;
}

void UPowerLid::setReadingNeeded(bool needed) {
    needed_ = needed;
    updatePolling();
}

bool UPowerLid::hasSignalSource() const {
    return boolean(daemon_.value(kLidIsPresent)).value_or(false) &&
           boolean(daemon_.value(kLidIsClosed)).has_value();
}

void UPowerLid::propertiesChanged() {
    if (hasSignalSource()) {
        noLidLogged_ = false;
    } else if (daemon_.properties() && !std::exchange(noLidLogged_, true)) {
        log_.info("UPower knows no lid (no lid present); the ACPI button is read while the lid matters");
    }
    updatePolling();
    announce();
}

void UPowerLid::failed(const QDBusMessage& error) {
    if (!std::exchange(noLidLogged_, true))
        log_.info("UPower knows no lid ({}); the ACPI button is read while the lid matters",
                  error.errorName().toStdString());
    updatePolling();
    announce();
}

void UPowerLid::updatePolling() {
    const bool wanted = needed_ && !daemon_.fetching() && !hasSignalSource() && !noButtons_;
    if (!wanted) {
        pollTimer_.reset();
        firstPoll_.reset();
        buttonClosed_.reset();  // a reading no longer taken must not pass for the lid's state
        return;
    }
    if (pollTimer_) return;
    pollTimer_ = scheduler_.every(kPollSeconds, [this] { poll(); });
    // Not now: the caller may be in the middle of an evaluation that the change would re-enter.
    firstPoll_ = scheduler_.after(0, [this] { poll(); });
}

void UPowerLid::poll() {
    std::error_code error;
    if (!std::filesystem::is_directory(procRoot_, error)) {
        // No lid button at all (a desktop, a container): ACPI buttons do not appear later, so there is
        // nothing to come back for. The lid counts as open.
        log_.info("No lid button under {}: the lid counts as open", procRoot_);
        noButtons_ = true;
        updatePolling();
        return;
    }
    const auto closed = readButtonState(procRoot_);
    if (!closed && !buttonFailureLogged_) log_.info("No lid state under {}", procRoot_);
    buttonFailureLogged_ = !closed;
    if (closed == buttonClosed_) return;
    buttonClosed_ = closed;
    announce();
}

void UPowerLid::announce() {
    changed.emit();
}

std::optional<bool> UPowerLid::readButtonState(const std::string& root) {
    std::error_code error;
    std::vector<std::filesystem::path> buttons;
    for (auto it = std::filesystem::directory_iterator(root, error);
         !error && it != std::filesystem::directory_iterator() && buttons.size() < kMaxButtons;
         it.increment(error)) {
        buttons.push_back(it->path());
    }
    // The order of a directory is arbitrary; the first by name is "the" lid, the same at every reading.
    std::sort(buttons.begin(), buttons.end());
    for (const auto& button : buttons)
        if (const auto closed = readStateFile(button / "state")) return closed;
    return std::nullopt;
}

}  // namespace torvel
