#include "Platform/Linux/Power/SysfsPowerSources.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace torvel {

namespace fs = std::filesystem;

namespace {

// Attribute files are a line of text; anything much longer is not one of them.
constexpr std::size_t kMaxAttributeBytes = 256;

// The trimmed contents of `dir/name`; std::nullopt when it is missing or unreadable.
std::optional<std::string> readAttribute(const fs::path& dir, const char* name) {
    std::ifstream file(dir / name, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(kMaxAttributeBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) return std::nullopt;
    text.resize(static_cast<std::size_t>(file.gcount()));
    constexpr const char* kSpace = " \t\r\n";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// A whole decimal integer, or std::nullopt ("abc", "12abc", "", an overflow).
std::optional<std::int64_t> readInteger(const fs::path& dir, const char* name) {
    const auto text = readAttribute(dir, name);
    if (!text || text->empty()) return std::nullopt;
    std::int64_t value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// numerator / denominator of two attributes, when both are numbers and the denominator is not zero.
std::optional<double> ratio(const fs::path& dir, const char* numerator, const char* denominator) {
    const auto top = readInteger(dir, numerator);
    const auto bottom = readInteger(dir, denominator);
    if (!top || !bottom || *bottom == 0) return std::nullopt;
    return static_cast<double>(*top) / static_cast<double>(*bottom);
}

// How full the battery is (0..1 when sane) from its energy or charge counters.
std::optional<double> fullness(const fs::path& battery) {
    if (const auto energy = ratio(battery, "energy_now", "energy_full")) return energy;
    return ratio(battery, "charge_now", "charge_full");
}

std::int64_t clampPercent(double percent) {
    return static_cast<std::int64_t>(std::clamp(std::round(percent), 0.0, 100.0));
}

bool isCharger(const std::string& type) {
    return type == "Mains" || type.starts_with("USB");
}

}  // namespace

SysfsPowerSources::SysfsPowerSources(Scheduler& scheduler, LogSink& log, fs::path root)
    : scheduler_(scheduler), log_(log, "PowerSources"), root_(std::move(root)) {}

SysfsPowerSources::Scan SysfsPowerSources::scan() {
    Scan result;
    std::error_code error;
    std::vector<fs::path> supplies;
    for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
        supplies.push_back(it->path());
    }
    if (error) {
        if (!reportedUnreadable_) log_.error("Cannot read {}: {}", root_.string(), error.message());
        reportedUnreadable_ = true;
        return result;
    }
    reportedUnreadable_ = false;
    // The directory order is arbitrary; by name, BAT0 comes before BAT1 on every read.
    std::sort(supplies.begin(), supplies.end());

    bool haveBattery = false;
    for (const auto& supply : supplies) {
        if (readAttribute(supply, "scope") == "Device") continue;  // a peripheral's own battery
        const std::string type = readAttribute(supply, "type").value_or("");
        if (type == "Battery" && !haveBattery && readInteger(supply, "present") != 0) {
            haveBattery = true;
            result.battery = supply;
            result.batteryStatus = readAttribute(supply, "status").value_or("");
        } else if (isCharger(type)) {
            // online is 0 (offline), 1 (online) or 2 (online, programmable).
            if (const auto online = readInteger(supply, "online"))
                result.onAC = result.onAC.value_or(false) || *online > 0;
        }
    }
    if (!haveBattery) {
        result.status = ReadStatus::noSources;
        return result;
    }
    result.status = ReadStatus::ok;
    if (!result.onAC) {
        const std::string& status = result.batteryStatus;
        if (status == "Discharging") {
            result.onAC = false;
        } else if (status == "Charging" || status == "Full" || status == "Not charging") {
            result.onAC = true;
        }
    }
    return result;
}

PowerSourceReading SysfsPowerSources::readFirstSource() {
    const Scan found = scan();
    if (found.status != ReadStatus::ok) return {found.status, {}};

    PowerSourceReading reading{ReadStatus::ok, {}};
    auto& values = reading.description.values;
    if (const auto capacity = readInteger(found.battery, "capacity")) {
        values[kCurrentCapacityKey] = std::clamp<std::int64_t>(*capacity, 0, 100);
    } else if (const auto level = fullness(found.battery)) {
        values[kCurrentCapacityKey] = clampPercent(*level * 100.0);
    } else {
        log_.debug("{} has no readable charge level", found.battery.filename().string());
    }
    if (found.onAC)
        values[kPowerSourceStateKey] = std::string(*found.onAC ? kACPowerState : kBatteryPowerState);
    values[kIsChargingKey] = found.batteryStatus == "Charging";
    return reading;
}

double SysfsPowerSources::timeRemainingEstimate() {
    const Scan found = scan();
    if (found.status != ReadStatus::ok || !found.onAC) return kTimeRemainingUnknown;
    if (*found.onAC) return kTimeRemainingUnlimited;
    if (found.batteryStatus != "Discharging") return kTimeRemainingUnknown;
    // Energy in µWh over power in µW, or charge in µAh over current in µA: hours either way.
    auto hours = ratio(found.battery, "energy_now", "power_now");
    if (!hours) hours = ratio(found.battery, "charge_now", "current_now");
    if (!hours) return kTimeRemainingUnknown;
    const double seconds = std::fabs(*hours) * 3600.0;
    return seconds > 0.0 && std::isfinite(seconds) ? seconds : kTimeRemainingUnknown;
}

bool SysfsPowerSources::setOnChange(std::function<void()> onChange) {
    onChange_ = std::move(onChange);
    last_ = readFirstSource();
    if (!poll_) poll_ = scheduler_.every(kPollSeconds, [this] { poll(); });
    return true;
}

void SysfsPowerSources::stopNotifications() {
    onChange_ = nullptr;
    poll_.reset();
}

void SysfsPowerSources::poll() {
    PowerSourceReading now = readFirstSource();
    if (now.status == last_.status && now.description.values == last_.description.values) return;
    last_ = std::move(now);
    if (!onChange_) return;
    const auto onChange = onChange_;  // the callback may replace or stop itself while it runs
    onChange();
}

}  // namespace torvel
