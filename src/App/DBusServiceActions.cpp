// The actions of the menu and the windows over the bus. Each goes through the function its item or
// button calls, so the bus and the faces never differ; input is checked in full before anything
// changes, and bad input fails with kErrorInvalidArgument.
//
//   Extend(i minutes) -> (b ok, s message)   the menu's extend items: 1 to 43200 minutes; ok false
//                                            (and why) when no timer runs
//   ToggleProfile(s id) -> (b active, s message)
//                                            the menu's profile item: the running profile ends
//                                            every session, another one starts
//   PauseAutomation(s how)                   "hour", "morning" or "indefinitely"
//   ResumeAutomation()                       a no-op without a pause
//   CreateProfile(a{sv} fields) -> (s id)    "name" (needed), "duration", "assertionType",
//                                            "batteryLimitOverride"; see readProfileFields()
//   EditProfile(s id, a{sv} fields)          the fields given change, the others stay
//   DuplicateProfile(s id) -> (s id)         the copy, under a unique name
//   DeleteProfile(s id)
//   AddTrustedNetwork(s name)                trimmed as the sheet trims; empty, longer than a Wi-Fi
//                                            name (32 bytes) or trusted already fails
//   RemoveTrustedNetwork(s name)             as the TrustedNetworks property lists it
//   WatchApp(s desktopId)                    a running application's id (RunningApps lists them)
//   UnwatchApp(s desktopId)                  a watched one's
//   SleepNow()                               kErrorRefused while the menu does not offer it
//   SilenceAlarm()                           a no-op while no alarm sounds
//   InstallStayguard() -> (s message)        starts the installation and answers at once; the
//                                            outcome arrives as the helper's status and a notice.
//                                            kErrorRefused when installed, installing or without it
#include "App/DBusService.h"

#include <QVariant>
#include <algorithm>
#include <optional>

#include "App/AppDelegate.h"
#include "App/DBusText.h"
#include "Core/TimerManager.h"
#include "Models/SSIDText.h"
#include "Platform/Clock.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"
#include "UI/ActivationLists.h"
#include "UI/AutomationActions.h"
#include "UI/CustomDurationForm.h"
#include "UI/DurationTexts.h"
#include "UI/MenuBuilder.h"
#include "UI/NetworkSheetForm.h"
#include "UI/ProfileEditorForm.h"
#include "UI/StayguardResultText.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {



// The longest profile name taken: names are read in menus, and a longer one is a mistake or an attack.
constexpr qsizetype kMaxProfileNameLength = 256;
// A Wi-Fi network's name is at most 32 bytes on the air; a longer one could never match.
constexpr std::size_t kMaxSSIDBytes = 32;

/// The profile fields a call gives; an absent one leaves the editor's value as it is.
struct ProfileFields {
    std::optional<std::string> name;
    std::optional<std::size_t> presetIndex;
    std::optional<AssertionType> assertionType;
    /// Set: whether the profile has its own battery limit, and which (0: none while it runs).
    std::optional<std::optional<int>> batteryLimitOverride;
};

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// Reads `fields` as the editor's fields: "name" (s), "duration" (s, a menu preset's raw name:
// "fifteenMinutes" ... "twelveHours", "indefinite"), "assertionType" (s, "noIdleSleep",
// "noSystemSleep" or "noDisplaySleep") and "batteryLimitOverride" (i, -1 for the global limit, 0 for
// none, up to 50). Anything else, or a value of another type or out of range, is the error returned.
std::optional<QString> readProfileFields(const QVariantMap& fields, ProfileFields& out) {
    auto wrongType = [](const QString& key, const char* type) {
        return "profile field '" + key + "' must be of type " + type;
    };
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const QString& key = it.key();
        const QVariant& value = it.value();
        const bool isText = value.metaType().id() == QMetaType::QString;
        if (key == "name") {
            if (!isText) return wrongType(key, "s");
            const QString name = value.toString();
            if (name.size() > kMaxProfileNameLength)
                return QString("a profile name has at most %1 characters").arg(kMaxProfileNameLength);
            if (hasControlCharacter(name)) return "a profile name cannot hold control characters";
            out.name = name.toStdString();
        } else if (key == "duration") {
            if (!isText) return wrongType(key, "s");
            const std::string raw = value.toString().toStdString();
            const auto& presets = Duration::menuPresets();
            const auto preset = std::find_if(presets.begin(), presets.end(), [&](const Duration& d) {
                return Duration::caseName(d.kind()) == raw;
            });
            if (preset == presets.end())
                return "unknown duration '" + quoted(value.toString()) +
                       "' (fifteenMinutes, thirtyMinutes, oneHour, twoHours, fourHours, eightHours, "
                       "twelveHours or indefinite)";
            out.presetIndex = static_cast<std::size_t>(preset - presets.begin());
        } else if (key == "assertionType") {
            if (!isText) return wrongType(key, "s");
            out.assertionType = assertionTypeFromRaw(value.toString().toStdString());
            if (!out.assertionType)
                return "unknown assertion type '" + quoted(value.toString()) +
                       "' (noIdleSleep, noSystemSleep or noDisplaySleep)";
        } else if (key == "batteryLimitOverride") {
            if (value.metaType().id() != QMetaType::Int) return wrongType(key, "i");
            const int percent = value.toInt();
            if (percent < -1 || percent > ProfileEditorForm::kMaxOverride)
                return QString("batteryLimitOverride %1 is out of range (-1 for the global limit, 0 to %2)")
                    .arg(percent)
                    .arg(ProfileEditorForm::kMaxOverride);
            out.batteryLimitOverride = percent < 0 ? std::nullopt : std::optional<int>(percent);
        } else {
            return "unknown profile field '" + quoted(key) +
                   "' (name, duration, assertionType or batteryLimitOverride)";
        }
    }
    return std::nullopt;
}

/// What the editor saves when it opens on `existing` (nullptr: a new profile) and `fields` are entered;
/// std::nullopt, with `error` saying why, when a field does not read or Save would not be offered.
std::optional<Profile> editedRecord(const AppState& state, const Localization& texts, const Profile* existing,
                                    const QVariantMap& fields, QString& error) {
    ProfileFields given;
    if (auto problem = readProfileFields(fields, given)) {
        error = *problem;
        return std::nullopt;
    }
    ProfileEditorForm form(existing, state.profileLibrary().profiles(), texts);
    if (given.name) form.name = *given.name;
    if (given.presetIndex) form.choosePreset(*given.presetIndex);
    if (given.assertionType) form.setAssertionType(*given.assertionType);
    if (given.batteryLimitOverride) {
        form.setHasBatteryOverride(given.batteryLimitOverride->has_value());
        if (*given.batteryLimitOverride) form.setBatteryOverride(**given.batteryLimitOverride);
    }
    if (form.nameProblem() == ProfileEditorForm::NameProblem::empty) error = "a profile needs a name";
    if (form.nameProblem() == ProfileEditorForm::NameProblem::taken)
        error = "another profile is named '" + quoted(qtext(form.name)) + "' already";
    return form.record();
}

/// The profile `id` names, or nullptr with `error` saying why: not an id, or no profile has it.
const Profile* profileWithID(const AppState& state, const QString& id, QString& error) {
    const auto uuid = Uuid::parse(id.toStdString());
    const Profile* profile = uuid ? state.profileLibrary().profileWithID(*uuid) : nullptr;
    if (!uuid) error = "not a profile id: '" + quoted(id) + "'";
    if (uuid && !profile) error = "no profile has the id '" + quoted(id) + "'";
    return profile;
}

}  // namespace

bool DBusService::Extend(int minutes, QString& message) {
    if (minutes < 1 || minutes > static_cast<int>(CustomDurationForm::kMaxMinutes)) {
        fail(kErrorInvalidArgument, QString("minutes must be from 1 to %1, not %2")
                                        .arg(static_cast<int>(CustomDurationForm::kMaxMinutes))
                                        .arg(minutes));
        return false;
    }
    if (!MenuBuilder::extendCountdown(state_, app_.timer(), minutes * 60.0)) {
        message = text("intent.extend.no_timer");
        return false;
    }
    const std::string left =
        Duration::formatInterval(app_.timer().remainingSeconds(), durationLookup(app_.texts()));
    message = qtext(app_.texts().format("a11y.tooltip_remaining", {left}));  // "Torvel: 40 min left"
    return true;
}

bool DBusService::ToggleProfile(const QString& id, QString& message) {
    QString error;
    const Profile* profile = profileWithID(state_, id, error);
    if (!profile) {
        fail(kErrorInvalidArgument, error);
        return false;
    }
    const bool ends = state_.activeProfileID() == profile->id;
    // A copy, as the menu hands over: the list the pointer reads from may be replaced on the way.
    state_.profileLibrary().toggleProfile(Profile(*profile));
    // Ended, but automatic triggers that still hold keep the computer awake: Activate's words say so.
    message = ends && !state_.isActive() ? text("intent.dialog.off") : activationText(state_);
    return state_.isActive();
}

void DBusService::PauseAutomation(const QString& how) {
    using Mode = AutomationPause::Mode;
    std::optional<Mode> mode;
    if (how == "hour") mode = Mode::oneHour;
    if (how == "morning") mode = Mode::untilMorning;
    if (how == "indefinitely") mode = Mode::indefinitely;
    if (!mode) {
        fail(kErrorInvalidArgument, "unknown pause '" + quoted(how) + "' (hour, morning or indefinitely)");
        return;
    }
    state_.automationPause().pause(*mode);
}

void DBusService::ResumeAutomation() {
    state_.automationPause().resume();
}

QString DBusService::CreateProfile(const QVariantMap& fields) {
    QString error;
    const auto record = editedRecord(state_, app_.texts(), nullptr, fields, error);
    if (!record) {
        fail(kErrorInvalidArgument, error);
        return {};
    }
    state_.profileLibrary().saveEditedProfile(*record);
    return qtext(record->id.toString());
}

void DBusService::EditProfile(const QString& id, const QVariantMap& fields) {
    QString error;
    const Profile* existing = profileWithID(state_, id, error);
    const auto record = existing ? editedRecord(state_, app_.texts(), existing, fields, error) : std::nullopt;
    if (!record) return fail(kErrorInvalidArgument, error);
    state_.profileLibrary().saveEditedProfile(*record);
}

QString DBusService::DuplicateProfile(const QString& id) {
    QString error;
    const Profile* existing = profileWithID(state_, id, error);
    if (!existing) {
        fail(kErrorInvalidArgument, error);
        return {};
    }
    return qtext(state_.profileLibrary().duplicateProfile(Profile(*existing)).id.toString());
}

void DBusService::DeleteProfile(const QString& id) {
    QString error;
    const Profile* existing = profileWithID(state_, id, error);
    if (!existing) return fail(kErrorInvalidArgument, error);
    const Uuid gone = existing->id;  // not a reference into the list that is replaced
    state_.profileLibrary().deleteProfile(gone);
}

void DBusService::AddTrustedNetwork(const QString& name) {
    NetworkSheetForm sheet;
    sheet.text = name.toStdString();
    const std::string ssid = NetworkSheetForm::trimmed(sheet.text);
    if (ssid.empty()) return fail(kErrorInvalidArgument, "a network name cannot be empty");
    if (ssidToBytes(ssid).size() > kMaxSSIDBytes)
        return fail(kErrorInvalidArgument,
                    QString("a Wi-Fi network's name has at most %1 bytes: '").arg(kMaxSSIDBytes) + quoted(name) +
                        "'");
    if (!sheet.add(state_)) fail(kErrorInvalidArgument, "the network '" + quoted(name) + "' is trusted already");
}

void DBusService::RemoveTrustedNetwork(const QString& name) {
    const TrustedNetwork* network = ActivationLists::trustedNetworkNamed(state_, name.toStdString());
    if (!network) return fail(kErrorInvalidArgument, "no trusted network is named '" + quoted(name) + "'");
    ActivationLists::removeTrustedNetwork(state_, network->id);
}

void DBusService::WatchApp(const QString& desktopId) {
    const std::string id = desktopId.toStdString();
    if (ActivationLists::watchedApp(state_, id))
        return fail(kErrorInvalidArgument, "'" + quoted(desktopId) + "' is watched already");
    const auto running = id.empty() ? std::vector<RunningAppInfo>{}
                                    : AutomationActions::appsWithIdentifiers(&state_, {id});
    if (running.empty())
        return fail(kErrorInvalidArgument, "no running application has the id '" + quoted(desktopId) +
                                               "' (RunningApps lists them)");
    ActivationLists::watchApp(state_, running.front(), app_.clock().now());
}

void DBusService::UnwatchApp(const QString& desktopId) {
    const WatchedApp* watched = ActivationLists::watchedApp(state_, desktopId.toStdString());
    if (!watched) return fail(kErrorInvalidArgument, "'" + quoted(desktopId) + "' is not watched");
    ActivationLists::unwatchApp(state_, watched->id);
}

void DBusService::SleepNow() {
    if (!MenuBuilder::offersSleepNow(state_)) {
        const bool pending = state_.emergency().sleepNowReadiness() ==
                             LowBatteryEmergency::SleepNowReadiness::sendPending;
        return fail(kErrorRefused, state_.emergency().lastSleepBlockers().empty()
                                       ? "the menu offers Sleep now only while something blocks sleep"
                                   : pending ? text("menu.sleep_now_unavailable.send_pending")
                                             : text("menu.sleep_now_unavailable.sleep_disabled"));
    }
    state_.emergency().sleepNow(app_.clock().suspendingNow());
}

void DBusService::SilenceAlarm() {
    // The menu offers silencing only while the alarm is heard; an alarm that could not play is retried.
    if (state_.emergency().alarmStatus() == EmergencyAlarmStatus::sounding) state_.emergency().silenceAlarm();
}

QString DBusService::InstallStayguard() {
    LidLock& lock = state_.lidLock();
    if (lock.isInstalled()) {
        fail(kErrorRefused, text("settings.trusted_networks.stayguard_status_installed"));
        return {};
    }
    if (lock.isInstallInProgress()) {
        fail(kErrorRefused, "an installation of Stayguard is running already");
        return {};
    }
    lock.install();
    if (lock.isInstallInProgress()) return text("intent.stayguard.install_started");
    // An installation that ended at once says how; none started means there is no helper here.
    if (const auto& result = lock.lastInstallResult()) return qtext(stayguardResultText(result, app_.texts()).text);
    fail(kErrorRefused, "Stayguard cannot be installed here: Torvel has no Stayguard helper on this system");
    return {};
}

}  // namespace torvel
