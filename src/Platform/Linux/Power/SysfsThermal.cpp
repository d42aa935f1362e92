#include "Platform/Linux/Power/SysfsThermal.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <set>
#include <system_error>

namespace torvel {

namespace {

namespace fs = std::filesystem;

// Enough for any value the thermal class writes; a longer file is not one of its files.
constexpr std::size_t kMaxFileBytes = 64;
// Bounds on what one reading walks, so a strange tree cannot make it long.
constexpr int kMaxZones = 64;
constexpr int kMaxTrips = 32;
// Temperatures outside this range (millidegrees) are sensor errors, not readings.
constexpr long kMinTemperature = -274000;
constexpr long kMaxTemperature = 1000000;

std::optional<std::string> readSmallFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(kMaxFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxFileBytes) return std::nullopt;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::optional<long> readNumber(const fs::path& path) {
    const auto text = readSmallFile(path);
    if (!text || text->empty()) return std::nullopt;
    long value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
    if (value < kMinTemperature || value > kMaxTemperature) return std::nullopt;
    return value;
}

}  // namespace

std::vector<SysfsThermal::Threshold> SysfsThermal::thresholds(const std::vector<Trip>& trips) {
    std::optional<Threshold> fair, serious, hot, critical;
    auto lowest = [](std::optional<Threshold>& slot, ThermalState state, const Trip& trip) {
        if (!slot || trip.temperature < slot->temperature)
            slot = Threshold{state, trip.temperature, std::max(0L, trip.hysteresis)};
    };
    for (const Trip& trip : trips) {
        if (trip.temperature <= 0) continue;
        if (trip.type == "active")
            lowest(fair, ThermalState::fair, trip);
        else if (trip.type == "passive")
            lowest(serious, ThermalState::serious, trip);
        else if (trip.type == "hot")
            lowest(hot, ThermalState::critical, trip);
        else if (trip.type == "critical")
            lowest(critical, ThermalState::critical, trip);
    }
    if (!hot && critical) {
        hot = critical;
        hot->temperature -= kCriticalMarginMilliC;
    }
    std::vector<Threshold> result;
    for (const auto& slot : {fair, serious, hot})
        if (slot) result.push_back(*slot);
    return result;
}

ThermalState SysfsThermal::classify(const std::vector<Threshold>& thresholds, long temperature,
                                    ThermalState previous) {
    ThermalState reached = ThermalState::nominal;
    for (const Threshold& t : thresholds)
        if (temperature >= t.temperature) reached = std::max(reached, t.state);
    // A state above the one reached is kept while the zone is not yet below its trip minus hysteresis.
    for (const Threshold& t : thresholds)
        if (t.state > reached && t.state <= previous && temperature >= t.temperature - t.hysteresis)
            reached = std::max(reached, t.state);
    return reached;
}

SysfsThermal::SysfsThermal(fs::path root) : root_(std::move(root)) {}

std::optional<ThermalState> SysfsThermal::readState() {
    std::map<std::string, ThermalState> seen;
    std::set<std::string> listed;
    // A zone that cannot be read now keeps its last state: a hot zone whose sensor fails for a moment
    // must not count as cool, or a heat stop would end and start again with each failure.
    const auto keepLast = [&](const std::string& name) {
        const auto before = previous_.find(name);
        if (before != previous_.end()) seen[name] = before->second;
    };
    std::error_code error;
    fs::directory_iterator it(root_, error);
    int zones = 0;
    for (; !error && it != fs::directory_iterator() && zones < kMaxZones; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("thermal_zone", 0) != 0) continue;
        ++zones;
        listed.insert(name);
        const fs::path zone = it->path();
        if (readSmallFile(zone / "mode") == "disabled") continue;
        const auto temperature = readNumber(zone / "temp");
        if (!temperature) {
            keepLast(name);
            continue;
        }
        std::vector<Trip> trips;
        for (int n = 0; n < kMaxTrips; ++n) {
            const std::string prefix = "trip_point_" + std::to_string(n) + "_";
            const auto type = readSmallFile(zone / (prefix + "type"));
            if (!type) break;
            const auto tripTemperature = readNumber(zone / (prefix + "temp"));
            if (!tripTemperature) continue;
            trips.push_back({*type, *tripTemperature, readNumber(zone / (prefix + "hyst")).value_or(0)});
        }
        const auto before = previous_.find(name);
        seen[name] = classify(thresholds(trips), *temperature,
                              before == previous_.end() ? ThermalState::nominal : before->second);
    }
    // A listing cut short by an error says nothing about the zones it did not reach. A zone that is no
    // longer listed at all (its device went away) is left out.
    if (error) {
        for (const auto& [name, state] : previous_)
            if (!listed.contains(name)) keepLast(name);
    }
    previous_ = std::move(seen);
    std::optional<ThermalState> worst;
    for (const auto& [name, state] : previous_)
        worst = std::max(worst.value_or(ThermalState::nominal), state);
    return worst;
}

}  // namespace torvel
