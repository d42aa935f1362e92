#include "App/SimulationService.h"

#include <charconv>
#include <string_view>

#include "App/AppDelegate.h"
#include "App/DBusService.h"
#include "State/AppState.h"
#include "Monitors/ThermalMonitor.h"
#include "Platform/Sim/SimDisplayConfiguration.h"
#include "Platform/Sim/SimLid.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Platform/Sim/SimScreens.h"
#include "Platform/Sim/SimThermal.h"
#include "Platform/Sim/SimWiFi.h"
#include "Platform/Sim/SimWorkspace.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

std::optional<long long> integer(std::string_view text, long long min, long long max) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<bool> onOff(std::string_view text, std::string_view on, std::string_view off) {
    if (text == on) return true;
    if (text == off) return false;
    return std::nullopt;
}

bool printable(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

// Reads one assignment; an error message when it does not read.
std::optional<std::string> read(std::string_view assignment, SimulatedChange& change) {
    using K = SimulatedChange::Kind;
    const auto equals = assignment.find('=');
    if (equals == std::string_view::npos) return "expected NAME=VALUE";
    const auto name = assignment.substr(0, equals);
    const auto value = assignment.substr(equals + 1);
    auto flag = [&](K kind, std::string_view on, std::string_view off) -> std::optional<std::string> {
        auto read = onOff(value, on, off);
        if (!read) return std::string(name) + " takes " + std::string(on) + " or " + std::string(off);
        change.kind = kind;
        change.flag = *read;
        return std::nullopt;
    };
    if (name == "battery") {
        if (value == "none") {
            change.kind = K::noBattery;
            return std::nullopt;
        }
        auto percent = integer(value, 0, 100);
        if (!percent) return "battery takes a percentage from 0 to 100, or none";
        change.kind = K::battery;
        change.number = *percent;
    } else if (name == "ac") {
        return flag(K::ac, "on", "off");
    } else if (name == "charging") {
        return flag(K::charging, "on", "off");
    } else if (name == "estimate") {
        auto seconds = value == "unknown" ? std::optional<long long>(-1) : integer(value, 0, 30LL * 24 * 3600);
        if (!seconds) return "estimate takes seconds (up to 30 days) or unknown";
        change.kind = K::estimate;
        change.number = *seconds;
    } else if (name == "thermal") {
        static constexpr std::pair<std::string_view, ThermalState> states[] = {
            {"nominal", ThermalState::nominal},
            {"fair", ThermalState::fair},
            {"serious", ThermalState::serious},
            {"critical", ThermalState::critical}};
        change.kind = K::thermal;
        for (const auto& [text, state] : states)
            if (value == text) {
                change.thermal = state;
                return std::nullopt;
            }
        return "thermal takes nominal, fair, serious or critical";
    } else if (name == "lid") {
        return flag(K::lid, "closed", "open");
    } else if (name == "display") {
        auto count = integer(value, 0, 16);
        if (!count) return "display takes the number of external displays, 0 to 16";
        change.kind = K::displays;
        change.number = *count;
    } else if (name == "mirroring") {
        return flag(K::mirroring, "on", "off");
    } else if (name == "wifi") {
        if (value.empty() || value.size() > 32 || !printable(value)) return "wifi takes a network name (1 to 32 bytes) or off";
        change.kind = K::wifi;
        change.flag = value != "off";
        if (change.flag) change.text = value;
    } else if (name == "launch" || name == "quit") {
        const auto colon = value.find(':');
        const auto id = value.substr(0, colon);
        if (id.empty() || id.size() > 255 || !printable(value)) return std::string(name) + " takes an application id";
        change.kind = name == "launch" ? K::launch : K::quit;
        change.text = id;
        change.name = colon == std::string_view::npos ? std::string(id) : std::string(value.substr(colon + 1));
    } else {
        return "unknown name (battery, ac, charging, estimate, thermal, lid, display, mirroring, wifi, launch, quit)";
    }
    return std::nullopt;
}

}  // namespace

SimulatedChanges parseSimulatedChanges(const std::vector<std::string>& assignments) {
    SimulatedChanges result;
    if (assignments.empty()) result.error = "nothing to change";
    for (const auto& assignment : assignments) {
        SimulatedChange change;
        if (auto error = read(assignment, change)) {
            // The caller's text comes back cleaned and short, whatever it held.
            result.error = "'" + URLCommandRouter::excerpt(assignment) + "': " + *error;
            result.changes.clear();
            break;
        }
        result.changes.push_back(std::move(change));
    }
    return result;
}

SimulationService::SimulationService(AppDelegate& app) : app_(app) {}

bool SimulationService::registerOn(QDBusConnection bus) {
    return bus.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots);
}

QString SimulationService::Change(const QStringList& assignments) {
    std::vector<std::string> raw;
    for (const auto& assignment : assignments) raw.push_back(assignment.toStdString());
    const auto parsed = parseSimulatedChanges(raw);
    if (parsed.error) {
        if (calledFromDBus())
            sendErrorReply(DBusService::kErrorInvalidArgument, QString::fromStdString(*parsed.error));
        return {};
    }
    for (const auto& change : parsed.changes) apply(change);
    return Describe();
}

void SimulationService::apply(const SimulatedChange& change) {
    using K = SimulatedChange::Kind;
    auto* machine = app_.simulatedMachine();
    switch (change.kind) {
        case K::battery:
            machine->powerSources->setBatteryPercent(static_cast<int>(change.number));
            machine->powerSources->emitChange();
            break;
        case K::noBattery:
            machine->powerSources->setNoSources();
            machine->powerSources->emitChange();
            break;
        case K::ac:
            machine->powerSources->setOnAC(change.flag);
            machine->powerSources->setEstimate(change.flag ? kTimeRemainingUnlimited : kTimeRemainingUnknown);
            machine->powerSources->emitChange();
            break;
        case K::charging:
            machine->powerSources->setCharging(change.flag);
            machine->powerSources->emitChange();
            break;
        case K::estimate:
            machine->powerSources->setEstimate(change.number < 0 ? kTimeRemainingUnknown
                                                                 : static_cast<double>(change.number));
            machine->powerSources->emitChange();
            break;
        case K::thermal:
            // The sensor changes and is read at once, so that a demo sees the kill switch act now
            // rather than at the next periodic reading (which an idle Torvel does not take).
            machine->thermal->setState(change.thermal);
            app_.thermalMonitor().refresh();
            break;
        case K::lid:
            machine->lid->setClosed(change.flag);
            break;
        case K::displays:
            // The simulated machine is a laptop: its own screen plus the external ones.
            machine->screens->setScreenCount(1 + static_cast<int>(change.number));
            machine->screens->emitChange();
            break;
        case K::mirroring:
            machine->displayConfiguration->setMirroring(change.flag);
            machine->displayConfiguration->emitReconfiguration(1, true);
            machine->displayConfiguration->emitReconfiguration(1, false);
            break;
        case K::wifi:
            if (change.flag) {
                machine->wifi->connect(change.text);
            } else {
                machine->wifi->disconnect();
            }
            break;
        case K::launch:
            machine->workspace->launch(change.text, change.name);
            break;
        case K::quit:
            machine->workspace->quit(change.text);
            break;
    }
}

QString SimulationService::Describe() {
    // The machine as it is now, not as the state has heard of it yet: changes reach the state on the
    // next turn of the main loop.
    auto* machine = app_.simulatedMachine();
    const auto reading = machine->powerSources->readFirstSource();
    const auto& power = reading.description.values;
    auto value = [&]<typename T>(const char* key, T fallback) {
        auto it = power.find(key);
        return it != power.end() && std::holds_alternative<T>(it->second) ? std::get<T>(it->second) : fallback;
    };
    std::string text = "battery=";
    if (reading.status != ReadStatus::ok)
        text += "none";
    else
        text += std::to_string(value(kCurrentCapacityKey, std::int64_t{0}));
    text += std::string(" ac=") + (value(kPowerSourceStateKey, std::string(kACPowerState)) == kACPowerState ? "on" : "off");
    text += std::string(" charging=") + (value(kIsChargingKey, false) ? "on" : "off");
    const auto& values = app_.state().monitorValues();
    text += " thermal=" + std::string(toString(values.thermalState));
    text += std::string(" lid=") + (machine->lid->readClosed().value_or(false) ? "closed" : "open");
    text += " display=" + std::to_string(machine->screens->screenCount() - 1);
    text += std::string(" mirroring=") + (machine->displayConfiguration->isMirroringOn() ? "on" : "off");
    const auto wifiNames = machine->wifi->read().ssids;
    text += " wifi=" + (wifiNames.empty() ? std::string("off") : wifiNames.front());
    return QString::fromStdString(text);
}

}  // namespace torvel
