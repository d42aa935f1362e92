#include "Views/SettingsNetworkSheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Views/AccessKeys.h"
#include "Views/TextTones.h"
#include "Views/WindowKeys.h"

namespace torvel {

SettingsNetworkSheet::SettingsNetworkSheet(SettingsContext context, QWidget* parent)
    : QDialog(parent), context_(context) {
    const auto& c = context_;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(c.text("settings.trusted_networks.manual_sheet_title"));
    setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    auto* title = new QLabel(c.text("settings.trusted_networks.manual_sheet_title"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setWordWrap(true);
    layout->addWidget(title);
    ssid_ = new QLineEdit;
    ssid_->setPlaceholderText(c.text("settings.trusted_networks.manual_sheet_placeholder"));
    ssid_->setAccessibleName(c.text("settings.trusted_networks.manual_sheet_placeholder"));
    ssid_->setMinimumWidth(300);
    layout->addWidget(ssid_);
    error_ = new QLabel;
    error_->setObjectName(QStringLiteral("sheetError"));
    error_->setWordWrap(true);
    setTextTone(error_, TextTone::error);
    error_->hide();
    layout->addWidget(error_);
    auto* buttons = new QDialogButtonBox;
    auto* cancel = buttons->addButton(c.text("settings.trusted_networks.manual_sheet_cancel"),
                                      QDialogButtonBox::RejectRole);
    auto* addButton = buttons->addButton(c.text("settings.trusted_networks.manual_sheet_add"),
                                         QDialogButtonBox::AcceptRole);
    cancel->setAccessibleName(cancel->text());
    addButton->setAccessibleName(addButton->text());
    addButton->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsNetworkSheet::add);
    WindowKeys::closeOnEscape(this);
    AccessKeys::assign(this);
}

void SettingsNetworkSheet::add() {
    form_.text = ssid_->text().toStdString();
    if (!form_.add(context_.model)) {
        error_->setText(context_.text(form_.errorKey));
        error_->show();
        ssid_->setFocus();
        return;
    }
    accept();
}

}  // namespace torvel
