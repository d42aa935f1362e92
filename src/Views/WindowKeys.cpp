#include "Views/WindowKeys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>

namespace torvel::WindowKeys {

namespace {

// Escape that no control of the window took closes it, as a dialog's own Escape does. Not a shortcut:
// shortcuts are looked up before the key reaches an open list, and a combo box's list closes on the
// lookup's first step without taking the key, which would then close the window too.
class EscapeCloses : public QObject {
public:
    explicit EscapeCloses(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier) return false;
        window_->close();
        return true;
    }

private:
    QWidget* window_;
};

}  // namespace

void closeOnEscape(QWidget* window) {
    auto* dialog = qobject_cast<QDialog*>(window);
    // A dialog already rejects on Escape, and Ctrl+W rejects it likewise.
    new QShortcut(QKeySequence::Close, window, [window, dialog] {
        if (dialog) {
            dialog->reject();
        } else {
            window->close();
        }
    });
    if (!dialog) new EscapeCloses(window);
}

}  // namespace torvel::WindowKeys
