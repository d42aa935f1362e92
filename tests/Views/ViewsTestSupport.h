#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QWidget>
#include <fstream>
#include <vector>
#include <nlohmann/json.hpp>

#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "State/AppStateHarness.h"
#include "UI/StateWindowModel.h"
#include "Views/Windows.h"

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

/// Every shown label of the shown windows whose text holds `fragment`.
inline std::vector<QLabel*> labelsWith(const QString& fragment) {
    std::vector<QLabel*> found;
    for (auto* top : QApplication::topLevelWidgets())
        for (auto* label : top->findChildren<QLabel*>())
            if (top->isVisible() && label->isVisibleTo(top) && label->text().contains(fragment))
                found.push_back(label);
    return found;
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

/// Closes every window a test left open.
inline void closeAllWindows() {
    for (auto* top : QApplication::topLevelWidgets()) top->close();
    settle();
}

/// Answers the open message box with its button of `role`; false when no box is open.
inline bool answerMessageBox(QMessageBox::ButtonRole role) {
    auto* box = openWindow<QMessageBox>();
    if (!box) return false;
    for (auto* b : box->buttons())
        if (box->buttonRole(b) == role) b->click();
    settle();
    return true;
}

/// A shipped string table, as the build installs it beside the test program.
inline Localization::Table shippedTable(const char* lang) {
    const auto path = resourcesDirectory() / "i18n" / (std::string(lang) + ".json");
    std::ifstream in(path);
    if (!in) ADD_FAILURE() << "no string table at " << path;
    Localization::Table table;
    const nlohmann::json doc = nlohmann::json::parse(in);
    for (auto it = doc.begin(); it != doc.end(); ++it) table[it.key()] = it.value().get<std::string>();
    return table;
}

/// The application state on the simulated machine with its windows; what a test leaves open is closed.
struct WindowsTest : ::testing::Test {
    AppStateHarness h;
    StateWindowModel model{*h.state};
    Windows windows{model, h.texts, h.calendar_, h.clock};
    ~WindowsTest() override { closeAllWindows(); }
};

}  // namespace torvel
