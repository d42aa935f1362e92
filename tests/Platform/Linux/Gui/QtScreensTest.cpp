#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <functional>

#include "Platform/Linux/Displays/QtScreens.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

// Runs the event loop until `done` or the bound; true when done.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

TEST(QtScreensTest, CountsTheServersScreensAndAnswersOnceAfterEachBurst) {
    if (!std::getenv("TORVEL_TEST_X_DISPLAY")) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    CapturingLogSink log;
    QtScreens screens(log);
    EXPECT_EQ(screens.screenCount(), 2);

    int changes = 0;
    Connection changed = screens.changed.connect([&] { ++changes; });
    // A rearrangement arrives as a burst of geometry changes; the owner hears of it once, and later.
    QScreen* first = QGuiApplication::screens().front();
    Q_EMIT first->geometryChanged(first->geometry());
    Q_EMIT first->geometryChanged(first->geometry());
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(waitFor([&] { return changes > 0; }));
    EXPECT_FALSE(waitFor([&] { return changes > 1; }, 100));

    // Switched off with an answer pending: nothing comes, and switching on again works.
    Q_EMIT first->geometryChanged(first->geometry());
    changed.reset();
    EXPECT_FALSE(waitFor([&] { return changes > 1; }, 100));
    changed = screens.changed.connect([&] { ++changes; });
    Q_EMIT qGuiApp->screenRemoved(first);
    EXPECT_TRUE(waitFor([&] { return changes == 2; }));
    EXPECT_TRUE(log.messages("Displays").empty());
}

}  // namespace
}  // namespace torvel
