#include "Views/SettingsProfilesTab.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QToolButton>

#include "Core/Profiles.h"
#include "UI/SettingsMappings.h"
#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsProfileEditor.h"
#include "Views/SettingsWidgets.h"

namespace torvel {

SettingsProfilesTab::SettingsProfilesTab(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(context) {
    QVBoxLayout* page = SettingsWidgets::scrolledPage(this);
    auto* section = SettingsWidgets::section(page, context_.text("settings.profiles"));
    rowsHost_ = new QWidget;
    rows_ = new QVBoxLayout(rowsHost_);
    rows_->setContentsMargins(0, 0, 0, 0);
    section->addWidget(rowsHost_);
    auto* add = new QPushButton(context_.text("settings.add_profile"));
    add->setAccessibleName(add->text());
    section->addWidget(add, 0, Qt::AlignLeft);
    connect(add, &QPushButton::clicked, this, [this] { openEditor(nullptr); });
    page->addStretch(1);
    rebuildRows();
    profilesConnection_ = context_.model.profilesChanged.connect([this] { rebuildRows(); });
}

void SettingsProfilesTab::rebuildRows() {
    while (auto* item = rows_->takeAt(0)) {
        if (auto* widget = item->widget()) widget->deleteLater();
        delete item;
    }
    const auto& c = context_;
    for (const auto& profile : c.model.profiles()) {
        const QString name = QString::fromStdString(displayName(profile, c.texts));
        auto* row = new QFrame;
        row->setFrameShape(QFrame::StyledPanel);
        auto* line = new QHBoxLayout(row);
        auto* textColumn = new QVBoxLayout;
        // The user's own name for it, shown as typed even where it looks like markup.
        auto* title = new QLabel(name);
        title->setTextFormat(Qt::PlainText);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setWordWrap(true);
        auto* summary = new QLabel(
            QString::fromStdString(SettingsMappings::profileSummary(profile, c.texts, c.calendar)));
        auto* battery =
            new QLabel(QString::fromStdString(SettingsMappings::profileBatteryText(profile, c.texts)));
        for (auto* label : {summary, battery}) {
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setForegroundRole(QPalette::PlaceholderText);
        }
        textColumn->addWidget(title);
        textColumn->addWidget(summary);
        textColumn->addWidget(battery);
        line->addLayout(textColumn, 1);

        const auto button = [&](const char* icon, std::string_view key) {
            auto* b = new QToolButton;
            b->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
            b->setText(c.text(key));
            b->setToolButtonStyle(b->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
            // A tool tip guesses whether its text is markup: say it is, with the name escaped.
            b->setToolTip(Qt::convertFromPlainText(c.text(key) + QStringLiteral(": ") + name));
            AccessKeys::exclude(b);
            b->setAccessibleName(c.text(key) + QStringLiteral(": ") + name);
            line->addWidget(b, 0, Qt::AlignVCenter);
            return b;
        };
        const Uuid id = profile.id;
        // Each action finds the profile again by id: the list may have changed since the row was drawn.
        const auto find = [this, id]() -> const Profile* {
            for (const auto& p : context_.model.profiles())
                if (p.id == id) return &p;
            return nullptr;
        };
        connect(button("document-edit", "settings.edit_profile"), &QToolButton::clicked, this, [this, find] {
            if (const auto* p = find()) openEditor(p);
        });
        connect(button("edit-copy", "settings.duplicate_profile"), &QToolButton::clicked, this,
                [this, id] { context_.model.duplicateProfile(id); });
        connect(button("edit-delete", "settings.delete_profile"), &QToolButton::clicked, this, [this, find] {
            if (const auto* p = find()) confirmDeletion(*p);
        });
        rows_->addWidget(row);
    }
}

void SettingsProfilesTab::openEditor(const Profile* profile) {
    auto* editor = new SettingsProfileEditor(context_, profile, window());
    editor->setWindowModality(Qt::WindowModal);
    editor->open();
}

void SettingsProfilesTab::confirmDeletion(const Profile& profile) {
    const auto name = displayName(profile, context_.texts);
    auto* box = new QMessageBox(QMessageBox::Warning, context_.text("settings.delete_profile_title"),
                                context_.format("settings.delete_profile_message", {name}),
                                QMessageBox::NoButton, window());
    box->setTextFormat(Qt::PlainText);  // the profile's name as written
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto* remove = box->addButton(context_.text("settings.delete"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(context_.text("profile.cancel"), QMessageBox::RejectRole));
    AccessKeys::assign(box);
    const Uuid id = profile.id;
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, id](QAbstractButton* clicked) {
        if (clicked == remove) context_.model.deleteProfile(id);
    });
    box->open();
}

}  // namespace torvel
