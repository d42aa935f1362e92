#pragma once

#include <QDialog>

#include "UI/ProfileEditorForm.h"
#include "Views/SettingsContext.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace torvel {

class SettingsToggle;

/// The sheet that edits one profile or makes a new one. Saving stores the record through the
/// application state (replacing by id or appending) and closes the sheet; it deletes itself on close.
class SettingsProfileEditor : public QDialog {
    Q_OBJECT
public:
    /// Edits `existing`, or a new profile when nullptr.
    SettingsProfileEditor(SettingsContext context, const Profile* existing, QWidget* parent = nullptr);

private:
    void updateState();
    void save();

    SettingsContext context_;
    ProfileEditorForm form_;
    QLineEdit* name_;
    QComboBox* duration_;
    QComboBox* assertion_;
    SettingsToggle* overrideOn_;
    QWidget* overrideRow_;
    QSlider* override_;
    QLabel* overrideValue_;
    QLabel* nameError_;
    QPushButton* save_;
};

}  // namespace torvel
