#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QWidget>

namespace torvel {

/// A check box whose text wraps: long Czech texts break into lines instead of widening the window or
/// being cut off. Clicking the text toggles the box, as with a plain check box.
class SettingsToggle : public QWidget {
    Q_OBJECT
public:
    explicit SettingsToggle(const QString& text, QWidget* parent = nullptr);

    /// The box itself: its signals, state and focus.
    QCheckBox* box() const { return box_; }
    /// Sets the shown text, which is also the box's accessible name.
    void setText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* box_;
    QLabel* label_;
};

}  // namespace torvel
