#pragma once

#include <QDialog>

#include "Support/Signal.h"
#include "UI/CustomDurationForm.h"
#include "Views/SettingsContext.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimeEdit;

namespace torvel {

class WindowModel;

/// The panel that starts a session for a typed number of minutes or until a clock time. Activating
/// starts the session and closes it; it closes too when the language changes (it is built again in the
/// new one when asked for), and deletes itself on close.
class CustomDurationPanel : public QDialog {
    Q_OBJECT
public:
    CustomDurationPanel(WindowModel& model, Localization& texts, const Calendar& calendar, const Clock& clock,
                        QWidget* parent = nullptr);

    /// Whether Activate can be pressed now.
    bool canActivate() const;

private:
    void setMode(CustomDurationForm::Mode mode);
    void updateState();
    void activateSession();

    WindowModel& model_;
    Localization& texts_;
    const Calendar& calendar_;
    const Clock& clock_;
    CustomDurationForm form_;
    QRadioButton* durationMode_;
    QRadioButton* untilMode_;
    QStackedWidget* pages_;
    QLineEdit* minutes_;
    QTimeEdit* time_;
    QLabel* tomorrow_;
    QPushButton* activate_;
    Connection languageConnection_;
};

}  // namespace torvel
