#pragma once

#include <QComboBox>
#include <QLabel>
#include <QObject>
#include <QSlider>
#include <QSpinBox>
#include <functional>
#include <optional>
#include <vector>

#include "Core/SettingsValues.h"
#include "Support/Signal.h"
#include "UI/WindowModel.h"
#include "Views/SettingsToggle.h"

namespace torvel {

class Localization;

/// Ties the settings window's controls to the stored settings: a control's change goes through
/// the model; a refused write is reported through `refused` and the control shows the stored
/// value again. Every bound control follows changes made elsewhere (the command line, D-Bus).
class SettingsBinder : public QObject {
    Q_OBJECT
public:
    SettingsBinder(WindowModel& model, const Localization& texts, QObject* parent = nullptr);

    /// A switch for a flag.
    void toggle(SettingsToggle* toggle, bool SettingsValues::*member);
    /// A slider for an integer; `shown` is called with every position (also while dragging) so a label
    /// can follow. The value is stored when the slider is let go or moved by keys, not on every step
    /// of a drag (each store is a file write).
    void slider(QSlider* slider, std::int64_t SettingsValues::*member,
                std::function<void(std::int64_t)> shown);
    /// A spin box for an integer.
    void spin(QSpinBox* spin, std::int64_t SettingsValues::*member);
    /// A slider of 0..100 for a volume of 0..1, with its value label.
    void volume(QSlider* slider, float SettingsValues::*member, QLabel* valueLabel);
    /// A choice of the three assertion types, in strength order.
    void assertionType(QComboBox* combo, AssertionType SettingsValues::*member);
    /// A choice of system, English and Czech.
    void language(QComboBox* combo);
    /// The blocker-termination switch: on while the threshold is above 0; on sets the fixed
    /// threshold, off sets 0.
    void terminateBlockers(SettingsToggle* toggle);
    /// Something else to bring up to date after every change of a setting (enabled states).
    void follow(std::function<void()> refresh);

    /// Writes one setting; a refusal is reported and the controls are brought back to the stored values.
    template <typename T>
    bool write(T SettingsValues::*member, T value) {
        const auto refusal = model_.set(member, value);
        if (refusal) report(*refusal);
        return !refusal;
    }

    /// Shows every bound control's stored value, without writing anything.
    void refresh();

Q_SIGNALS:
    /// A write was refused; the text says why (the file and the reason).
    void refused(const QString& message);

private:
    void report(const SettingRefusal& refusal);

    WindowModel& model_;
    const Localization& texts_;
    std::vector<std::function<void()>> refreshers_;
    Connection settingConnection_;
    Connection refusalConnection_;
    bool refreshing_ = false;
};

}  // namespace torvel
