// The adapters that need a QGuiApplication: it must be the application object and it connects to
// its display once, so this program starts its own X server (Xvfb with two X screens) before
// creating it. Two separate X screens, not Xinerama: with Xinerama on, Xvfb reports a single RandR
// monitor and Qt sees one screen. Without Xvfb the application runs offscreen and the X tests skip.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdlib>
#include <string>

namespace {

// Starts Xvfb on a display it picks itself and returns that display (":N"), or "" when it cannot.
// Waits at most ten seconds for the server to say it is ready. No thread runs yet, so fork is safe.
std::string startXvfb(pid_t* pid) {
    int fds[2];
    if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return {};
    *pid = fork();
    if (*pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24",
              "-screen", "1", "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (*pid > 0 && poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty() && *pid > 0) {
        kill(*pid, SIGTERM);
        waitpid(*pid, nullptr, 0);
        *pid = 0;
    }
    return number.empty() ? std::string() : ":" + number;
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests (as the build's test discovery does) needs no server.
    bool listing = false;
    for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
    pid_t xvfb = 0;
    const std::string display = listing ? std::string() : startXvfb(&xvfb);
    if (display.empty()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        unsetenv("TORVEL_TEST_X_DISPLAY");
    } else {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("TORVEL_TEST_X_DISPLAY", display.c_str(), 1);
    }
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    return result;
}
