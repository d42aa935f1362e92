#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

#include "Platform/Log.h"
#include "Platform/PowerAssertions.h"

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

    /// Calls block the main thread, as the core's contract is synchronous; these services answer in
    /// milliseconds, so two seconds only bounds a hung one.
    static constexpr int kCallTimeoutMs = 2000;
    /// The "who" of every inhibitor.
    static constexpr const char* kWho = "Torvel";

    /// Looks up the desktop's inhibit services on `session`; logind is asked on `system`.
    DesktopPowerAssertions(QDBusConnection system, QDBusConnection session, LogSink& log);
    /// Gives back whatever is still held.
    ~DesktopPowerAssertions() override;
    DesktopPowerAssertions(const DesktopPowerAssertions&) = delete;
    DesktopPowerAssertions& operator=(const DesktopPowerAssertions&) = delete;

    AssertionResult create(AssertionType type, std::string_view name) override;
    std::int32_t release(std::uint32_t id) override;
    /// org.freedesktop.ScreenSaver.SimulateUserActivity; the id holds nothing and releases as a no-op.
    AssertionResult declareUserActivity(std::string_view name) override;
    /// Held here and, where a logind descriptor belongs to it, still listed by logind (trusted as held
    /// when logind cannot be asked).
    bool isAlive(std::uint32_t id) const override;

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
    };
    struct Held {
        std::vector<Taken> taken;
        QString why;
        QString logindWhat;  // empty when no logind descriptor belongs to it
    };

    void detect();
    std::vector<Part> plan(AssertionType type) const;
    AssertionResult tryCreate(AssertionType type, const QString& why);
    std::int32_t take(const Part& part, const QString& why, Taken& taken);
    std::int32_t give(const Taken& taken);
    std::int32_t call(Backend backend, const QString& method, const QVariantList& args,
                      QDBusMessage& reply) const;
    bool listedByLogind(const Held& held) const;
    std::uint32_t nextId();

    QDBusConnection system_, session_;
    Logger log_;
    Desktop desktop_;
    bool detected_ = false;
    mutable QString screenSaverPath_;  // the path that last answered
    std::map<std::uint32_t, Held> held_;
    std::uint32_t lastId_ = 0;
};

}  // namespace torvel
