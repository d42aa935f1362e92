// Settings: publish, store, then the setting's own change handling.
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"
#include "Platform/DefaultsStore.h"

namespace torvel {

template <typename T>
std::optional<SettingRefusal> AppState::set(T SettingsValues::*member, std::type_identity_t<T> value) {
    SettingsValues next = settings_;
    next.*member = value;
    return commitSettings(std::move(next), member);
}
// The kinds of scalar settings there are.
template std::optional<SettingRefusal> AppState::set<bool>(bool SettingsValues::*, bool);
template std::optional<SettingRefusal> AppState::set<std::int64_t>(std::int64_t SettingsValues::*,
                                                                   std::int64_t);
template std::optional<SettingRefusal> AppState::set<float>(float SettingsValues::*, float);
template std::optional<SettingRefusal> AppState::set<AssertionType>(AssertionType SettingsValues::*,
                                                                    AssertionType);
template std::optional<SettingRefusal> AppState::set<AppLanguage>(AppLanguage SettingsValues::*, AppLanguage);

void AppState::replaceTrustedNetworks(std::vector<TrustedNetwork> networks) {
    settings_.trustedNetworks = std::move(networks);
}

std::optional<SettingRefusal> AppState::setSettingFromText(std::string_view key, std::string_view text) {
    using Reason = SettingRefusal::Reason;
    const SettingDescriptor* row = settingDescriptor(key);
    if (!row) return SettingRefusal{Reason::badInput, "Unknown setting '" + std::string(key) + "'"};
    SettingsValues parsed = settings_;
    if (auto error = parseSetting(*row, text, parsed)) return SettingRefusal{Reason::badInput, *error};
    return commitSettings(std::move(parsed), row->member);
}

std::optional<SettingRefusal> AppState::commitSettings(SettingsValues next, const SettingMember& member) {
    const SettingDescriptor& row = settingDescriptor(member);
    // Stored first: a value the disk refused would be gone after a restart, so it must not take
    // effect now either.
    if (auto written = storeSetting(services_.defaults, row, next); !written) {
        auto message = fmt::format("{} not changed: {}", row.key, *written.error);
        log_.error("{}", message);
        return SettingRefusal{SettingRefusal::Reason::notSaved, std::move(message)};
    }
    settings_ = std::move(next);
    settingChanged.emit(row.key);
    runChangeHandling(row);
    return std::nullopt;
}

void AppState::runChangeHandling(const SettingDescriptor& row) {
    switch (row.change) {
        case SettingChange::none:
            break;
        case SettingChange::reevaluate:
            reevaluateState();
            break;
        case SettingChange::trustedNetworkActivation:
            trustedNetworks_.handleActivationSettingChanged();
            reevaluateState();
            break;
        case SettingChange::processTrigger:
            processTrigger_.pushWatchedDesktopIds();
            reevaluateState();
            break;
        case SettingChange::emergencyPower:
            emergency_->updateWatchdog();
            emergency_->refreshAutomationConsent();
            break;
        case SettingChange::emergencyForceSleep:
            emergency_->updateWatchdog();
            break;
        case SettingChange::emergencyAlarm:
            if (!settings_.emergencyAlarmEnabled) emergency_->stopAlarm("setting switched off", false);
            break;
        case SettingChange::trustedNetworks:
            reevaluateState();
            break;
        case SettingChange::language:
            services_.texts.updateBundle(settings_.language);
            break;
    }
}

void AppState::handleLocaleChanged() {
    if (settings_.language != AppLanguage::system) return;
    services_.texts.updateBundle(AppLanguage::system);
    log_.info("System language changed: texts now in {}", services_.texts.languageCode());
}

}  // namespace torvel
