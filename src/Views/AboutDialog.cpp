#include "Views/AboutDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Support/Localization.h"
#include "Views/AccessKeys.h"
#include "Views/WindowKeys.h"

namespace torvel {

AboutDialog::AboutDialog(const Localization& texts, const QString& version, QWidget* parent)
    : QDialog(parent) {
    const auto t = [&texts](std::string_view key) { return QString::fromStdString(texts.text(key)); };
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(t("settings.about.title"));
    setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    if (const QIcon icon = QApplication::windowIcon(); !icon.isNull()) {
        auto* picture = new QLabel;
        picture->setPixmap(icon.pixmap(64, 64));
        picture->setAlignment(Qt::AlignHCenter);
        layout->addWidget(picture);
    }
    auto* name = new QLabel(QStringLiteral("Torvel"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    auto* versionLabel = new QLabel(t("settings.about.version") + QLatin1Char(' ') + version);
    versionLabel->setTextFormat(Qt::PlainText);
    versionLabel->setAlignment(Qt::AlignHCenter);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Without a version (a test's application) the line would say nothing.
    versionLabel->setVisible(!version.isEmpty());
    layout->addWidget(versionLabel);
    auto* tagline = new QLabel(t("settings.about.tagline"));
    tagline->setWordWrap(true);
    tagline->setAlignment(Qt::AlignHCenter);
    layout->addWidget(tagline);
    auto* buttons = new QDialogButtonBox;
    auto* close = buttons->addButton(t("settings.about.close"), QDialogButtonBox::AcceptRole);
    close->setAccessibleName(close->text());
    close->setDefault(true);
    buttons->setCenterButtons(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    WindowKeys::closeOnEscape(this);
    AccessKeys::assign(this);
}

}  // namespace torvel
