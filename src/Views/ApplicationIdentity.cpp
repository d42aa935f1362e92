#include "Views/ApplicationIdentity.h"

#include <QApplication>

namespace torvel {

void setUpApplicationIdentity(const QString& version) {
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopFileName));
    // The X11 class is the application name; the instance stays the program's name, "torvel".
    QCoreApplication::setApplicationName(QLatin1String(kWindowClass));
    QCoreApplication::setApplicationVersion(version);
    QGuiApplication::setWindowIcon(torvelIcon());
}

QIcon torvelIcon() {
    return QIcon::fromTheme(QStringLiteral("torvel"), QIcon(QStringLiteral(":/torvel/torvel.svg")));
}

}  // namespace torvel
