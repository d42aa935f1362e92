#include "Views/WindowKeys.h"

#include <QDialog>
#include <QKeySequence>
#include <QShortcut>

namespace torvel::WindowKeys {

void closeOnEscape(QWidget* window) {
    auto* dialog = qobject_cast<QDialog*>(window);
    const auto close = [window, dialog] {
        if (dialog) {
            dialog->reject();
        } else {
            window->close();
        }
    };
    // The shortcuts belong to the window: a sheet open over it or a combo box's list takes the keys first.
    new QShortcut(QKeySequence::Close, window, close);
    if (!dialog) new QShortcut(QKeySequence(Qt::Key_Escape), window, close);
}

}  // namespace torvel::WindowKeys
