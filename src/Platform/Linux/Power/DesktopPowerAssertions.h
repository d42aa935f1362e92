#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Platform/Linux/Power/InhibitServiceWatch.h"
#include "Platform/Linux/Power/LogindInhibitorListing.h"
#include "Platform/Linux/Power/ScreenWay.h"
#include "Platform/Linux/Power/X11ScreenSaver.h"
#include "Platform/Log.h"
#include "Platform/PowerAssertions.h"

class QDBusError;
class QObject;

namespace torvel {

/// Power assertions as the inhibitors the running desktop honours, plus logind's own.
///
/// What each type takes: [x] must be accepted for the assertion to count as taken, (x) is an extra whose
/// failure is only logged. "flags" go to GNOME's session manager, PM is
/// org.freedesktop.PowerManagement.Inhibit, SS is org.freedesktop.ScreenSaver.Inhibit, and "idle" or
/// "idle:sleep" is one logind descriptor in mode "block".
///
/// | type           | GNOME session           | PM and/or SS (KDE, Xfce) | no desktop   |
/// |----------------|-------------------------|--------------------------|--------------|
/// | noIdleSleep    | [flags 4] (idle)        | [PM] (idle)              | [idle]       |
/// | noSystemSleep  | [flags 4] [idle:sleep]  | [PM] [idle:sleep]        | [idle:sleep] |
/// | noDisplaySleep | [flags 12] [idle:sleep] | [PM] [SS] [idle:sleep]   | [idle:sleep] |
///
/// Flag 4 and PM stop idle suspend but let the screen blank, which is noIdleSleep's whole meaning, so
/// logind "idle" (which only governs logind's own IdleAction) is an extra there. A desktop with SS but
/// no PM has nothing that blocks idle suspend alone: logind "idle" becomes required for noIdleSleep.
/// "sleep" is what makes noSystemSleep, and noDisplaySleep is noSystemSleep plus the screen (flag 8 of
/// 12 = 4|8, SS). Without a desktop there is no screen blanker to hold off: logind alone carries every type.
///
/// The screen-saver prevention is held the same way, for as long as it runs: GNOME's flag 8, else SS
/// Inhibit, else SimulateUserActivity where SS refuses Inhibit (renewed on every confirmation), else on
/// a bare X server its own blanker and DPMS suspended. No display at all: nothing to keep on.
class DesktopPowerAssertions : public PowerAssertions {
public:
    /// Status codes; 0 is success. Fixed per failure kind so a user's report names the cause.
    static constexpr std::int32_t kServiceUnknown = 1;  ///< the service is not on the bus
    static constexpr std::int32_t kAccessDenied = 2;    ///< the service or the bus policy refused
    static constexpr std::int32_t kTimeout = 3;         ///< no answer within kCallTimeoutMs
    static constexpr std::int32_t kUnsupported = 4;     ///< the service lacks the object or method
    static constexpr std::int32_t kBadReply = 5;        ///< answered without a cookie or descriptor
    static constexpr std::int32_t kFailed = 6;          ///< any other D-Bus error
    static constexpr std::int32_t kUnknownId = 7;       ///< release() of an id not held here
    static constexpr std::int32_t kNoScreenWay = 8;     ///< a display, but nothing that keeps it on

    /// Calls block the main thread, as the core's contract is synchronous; these services answer in
    /// milliseconds, so two seconds only bounds a hung one.
    static constexpr int kCallTimeoutMs = 2000;
    /// The "who" of every inhibitor.
    static constexpr const char* kWho = "Torvel";

    /// Looks up the desktop's inhibit services on `session`; logind is asked on `system`.
    DesktopPowerAssertions(QDBusConnection system, QDBusConnection session, LogSink& log,
                           SessionDisplays displays = SessionDisplays::fromEnvironment());
    /// Gives back whatever is still held.
    ~DesktopPowerAssertions() override;
    DesktopPowerAssertions(const DesktopPowerAssertions&) = delete;
    DesktopPowerAssertions& operator=(const DesktopPowerAssertions&) = delete;

    AssertionResult create(AssertionType type, std::string_view name) override;
    std::int32_t release(std::uint32_t id) override;
    /// Holds the screen on the way screenWay() names.
    AssertionResult startUserActivity(std::string_view name) override;
    /// The service that holds our cookie has kept its owner (known from the bus's signals), the X
    /// connection is intact, or the last SimulateUserActivity succeeded and a new one is sent. No wait.
    std::int32_t confirmUserActivity(std::uint32_t id) override;
    /// Held here, each desktop service that issued a cookie still the same owner, and where a logind
    /// descriptor belongs to it, listed for this process in logind's last list, which is asked for
    /// again without waiting (trusted as held until an answer comes, and when logind cannot be asked).
    bool isAlive(std::uint32_t id) const override;
    /// The way the next startUserActivity() takes.
    ScreenWay screenWay() const;
    /// Whether a logind list asked for by isAlive() is still on its way (what a test waits for).
    bool logindListPending() const { return listing_->pending(); }

private:
    enum class Backend { gnomeSession, powerManagement, screenSaver, logind };
    struct Desktop {
        bool gnomeSession = false, powerManagement = false, screenSaver = false;
        bool operator==(const Desktop&) const = default;
    };
    /// One inhibitor to take for a type: the mapping table above, row by row.
    struct Part {
        Backend backend;
        bool required;
        std::uint32_t gnomeFlags = 0;
        QString logindWhat;
    };
    struct Taken {
        Backend backend;
        std::uint32_t cookie = 0;
        QDBusUnixFileDescriptor fd;  // logind's; closing the last copy ends the inhibitor
        QString owner;               // the unique name that issued the cookie
    };
    struct Held {
        std::vector<Taken> taken;
        QString why;
        QString logindWhat;         // empty when no logind descriptor belongs to it
        std::uint64_t takenAt = 0;  // logind lists asked for up to here predate the descriptor
        bool userActivity = false;
        ScreenWay way = ScreenWay::nothingToDo;
        QString activityOwner;  // who answered SimulateUserActivity
        std::int32_t lost = 0;  // why a renewal failed; 0 while it holds
    };
    struct Address {
        QString service, path, interface;
    };

    void detect();
    std::vector<Part> plan(AssertionType type) const;
    AssertionResult tryCreate(AssertionType type, const QString& why);
    std::int32_t take(const Part& part, const QString& why, Taken& taken);
    std::int32_t give(const Taken& taken);
    std::int32_t call(Backend backend, const QString& method, const QVariantList& args,
                      QDBusMessage& reply) const;
    Address address(Backend backend) const;
    static std::int32_t statusOf(const QDBusError& error);
    std::int32_t startScreenWay(ScreenWay way, Held& held);
    void renewActivity(std::uint32_t id);
    void serviceOwnerChanged(const QString& name, const QString& owner);
    std::uint32_t nextId();

    QDBusConnection system_, session_;
    Logger log_;
    SessionDisplays displays_;
    Desktop desktop_;
    bool detected_ = false;
    bool screenSaverRefusesInhibit_ = false;  // until the service changes owner
    mutable QString screenSaverPath_;         // the path that last answered
    std::map<std::uint32_t, Held> held_;
    std::uint32_t lastId_ = 0;
    std::unique_ptr<LogindInhibitorListing> listing_;
    std::unique_ptr<InhibitServiceWatch> watch_;
    std::unique_ptr<X11ScreenSaver> x11_;  // connected when first needed
    int x11Holders_ = 0;
    std::unique_ptr<QObject> context_;  // parent of pending calls: they die with us
    Connection ownerChanged_;
};

}  // namespace torvel
