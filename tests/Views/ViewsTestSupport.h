#pragma once

#include <QApplication>
#include <QWidget>

namespace torvel {

/// The visible widget of type W named `name` in a shown window. Without a table for the window's
/// texts, every control is named by its key.
template <typename W>
W* named(const QString& name) {
    for (auto* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        for (auto* w : top->findChildren<W*>()) {
            if (w->accessibleName() == name && w->isVisibleTo(top)) return w;
        }
    }
    return nullptr;
}

/// The shown top-level window of type W.
template <typename W>
W* openWindow() {
    for (auto* top : QApplication::topLevelWidgets()) {
        if (auto* w = qobject_cast<W*>(top); w && w->isVisible()) return w;
    }
    return nullptr;
}

/// Runs posted events and deferred deletions.
inline void settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

}  // namespace torvel
