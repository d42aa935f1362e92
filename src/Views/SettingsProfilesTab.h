#pragma once

#include <QWidget>

#include "Models/Profile.h"
#include "Support/Signal.h"
#include "Views/SettingsContext.h"

class QVBoxLayout;

namespace torvel {

/// The profiles tab: one row per profile (edit, duplicate, delete after asking) and a button for a
/// new one. The rows follow every change of the list.
class SettingsProfilesTab : public QWidget {
    Q_OBJECT
public:
    explicit SettingsProfilesTab(SettingsContext context, QWidget* parent = nullptr);

    /// Opens the editor on `profile`, or on a new profile when nullptr.
    void openEditor(const Profile* profile);

private:
    void rebuildRows();
    void confirmDeletion(const Profile& profile);

    SettingsContext context_;
    QVBoxLayout* rows_ = nullptr;
    QWidget* rowsHost_ = nullptr;
    Connection profilesConnection_;
};

}  // namespace torvel
