#include "Platform/Linux/Displays/QtScreens.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

namespace torvel {

QtScreens::QtScreens(LogSink& log)
    : Screens([this](bool following) { setFollowing(following); }), log_(log, "Displays") {}

QtScreens::~QtScreens() = default;

bool QtScreens::hasApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
    if (!reportedMissing_) log_.error("No GUI application; counting no screens");
    reportedMissing_ = true;
    return false;
}

int QtScreens::screenCount() {
    if (!hasApplication()) return 0;
    return static_cast<int>(QGuiApplication::screens().size());
}

void QtScreens::setFollowing(bool following) {
    if (!following) {
        listening_.reset();  // disconnects every signal and drops a pending answer
        pending_ = false;
        return;
    }
    if (listening_ || !hasApplication()) return;
    listening_ = std::make_unique<QObject>();
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QObject::connect(app, &QGuiApplication::screenAdded, listening_.get(), [this](QScreen* screen) {
        follow(screen);
        noteChange();
    });
    QObject::connect(app, &QGuiApplication::screenRemoved, listening_.get(),
                     [this](QScreen*) { noteChange(); });
    for (QScreen* screen : QGuiApplication::screens()) follow(screen);
}

void QtScreens::follow(QScreen* screen) {
    // A screen moved or resized is a rearrangement; the connection ends with the screen or with us.
    QObject::connect(screen, &QScreen::geometryChanged, listening_.get(), [this] { noteChange(); });
}

void QtScreens::noteChange() {
    // Qt emits these while it is still updating its list (screenRemoved comes before the screen is
    // gone in some versions), and a hot-plug brings several at once: answer once, after they are done.
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        listening_.get(),
        [this] {
            pending_ = false;
            changed.emit();
        },
        Qt::QueuedConnection);
}

}  // namespace torvel
