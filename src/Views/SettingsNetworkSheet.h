#pragma once

#include <QDialog>

#include "UI/NetworkSheetForm.h"
#include "Views/SettingsContext.h"

class QLabel;
class QLineEdit;

namespace torvel {

/// The sheet for adding a trusted network by its name. A name that is empty or already trusted keeps
/// it open with an error; an added one closes it. Deletes itself on close.
class SettingsNetworkSheet : public QDialog {
    Q_OBJECT
public:
    explicit SettingsNetworkSheet(SettingsContext context, QWidget* parent = nullptr);

private:
    void add();

    SettingsContext context_;
    NetworkSheetForm form_;
    QLineEdit* ssid_;
    QLabel* error_;
};

}  // namespace torvel
