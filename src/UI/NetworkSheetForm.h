#pragma once

#include <string>

namespace torvel {

class AppState;
class WindowModel;

/// The sheet for typing a trusted network's name, without its widgets.
class NetworkSheetForm {
public:
    /// The name as typed.
    std::string text;
    /// The text key of the error shown under the field; empty while there is none.
    std::string errorKey;

    /// `text` without white space and line breaks at either end; inner spaces are part of an SSID.
    static std::string trimmed(const std::string& text);

    /// Hands the trimmed name to the trusted list. False (and the error set) when it is empty or
    /// already trusted: the sheet then stays open. True when added: the sheet closes.
    bool add(WindowModel& model);
    bool add(AppState& state);

private:
    /// Sets or clears the error after an attempt to add.
    bool settle(bool added);
};

}  // namespace torvel
