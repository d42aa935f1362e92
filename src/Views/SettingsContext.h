#pragma once

#include <QString>
#include <string_view>
#include <vector>

#include "Models/Calendar.h"
#include "Platform/Clock.h"
#include "Support/Localization.h"

namespace torvel {

class SettingsBinder;
class WindowModel;

/// What every tab of the settings window is built from.
struct SettingsContext {
    /// Where every change goes and every value comes from.
    WindowModel& model;
    /// The texts in the user's language.
    Localization& texts;
    /// Ties the tab's controls to the settings; one per build of the window.
    SettingsBinder& binder;
    /// The user's calendar, for the clock times shown.
    const Calendar& calendar;
    /// The wall clock: when an entry was added, what "today" is for the until time.
    const Clock& clock;

    /// The text of `key` in the current language.
    QString text(std::string_view key) const { return QString::fromStdString(texts.text(key)); }
    /// The text of `key` with its placeholders filled.
    QString format(std::string_view key, const std::vector<TextArg>& args) const {
        return QString::fromStdString(texts.format(key, args));
    }
};

}  // namespace torvel
