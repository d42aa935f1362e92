#pragma once

#include <QDialog>

namespace torvel {

class Localization;

/// The about window: the name, the version and what Torvel does. Deletes itself on close.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(const Localization& texts, const QString& version, QWidget* parent = nullptr);
};

}  // namespace torvel
