#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Lid.h"
#include "Platform/Linux/Helpers/BusPropertyFollower.h"
#include "Platform/Linux/Helpers/BusService.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// The lid as UPower sees it (LidIsPresent, LidIsClosed on its daemon object), followed through its
/// PropertiesChanged signals; its properties come from one asynchronous GetAll at start and whenever
/// UPower takes its bus name again, so nothing waits on the main loop.
///
/// Where UPower is missing or knows no lid, the kernel's ACPI button files (`<root>/*/state`, "state:
/// open" or "state: closed") are read instead, but only while setReadingNeeded(true) says changes
/// matter, every kPollSeconds, and not at all while UPower still has to answer.
class UPowerLid : public Lid {
public:
    static constexpr const char* kProcRoot = "/proc/acpi/button/lid";
    /// Often enough for the trusted-network latch to see a close within seconds.
    static constexpr double kPollSeconds = 3.0;
    UPowerLid(QDBusConnection system, Scheduler& scheduler, LogSink& log, std::string procRoot = kProcRoot);
    ~UPowerLid() override;

    std::optional<bool> readClosed() override;
    void setReadingNeeded(bool needed) override;

    /// True while the button files are read periodically.
    bool isPolling() const { return pollTimer_ != nullptr; }
    /// The first lid's state among `root`'s ACPI button folders; std::nullopt when none reads.
    static std::optional<bool> readButtonState(const std::string& root);

private:
    void propertiesChanged();
    void failed(const QDBusMessage& error);
    /// UPower reports a lid and its state: no reading of the button files is needed.
    bool hasSignalSource() const;
    void updatePolling();
    void poll();
    void announce();

    Scheduler& scheduler_;
    Logger log_;
    std::string procRoot_;
    bool needed_ = false;
    /// Said once until UPower knows a lid again.
    bool noLidLogged_ = false;
    std::optional<bool> buttonClosed_;
    bool buttonFailureLogged_ = false;
    /// The machine has no lid button folder: never read again.
    bool noButtons_ = false;
    Timer pollTimer_;
    Timer firstPoll_;
    BusService upower_;
    /// The daemon object's properties; polling waits for its answer.
    BusPropertyFollower daemon_;
};

}  // namespace torvel
