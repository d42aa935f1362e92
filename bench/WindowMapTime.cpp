// How long a command takes to put a window on the screen: runs COMMAND and waits for the X server to
// map a top-level window whose name contains TITLE, printing the seconds from the command's start to
// the MapNotify. Event-driven, so the figure is not rounded to a polling interval.
// Usage: torvel_window_map_time [--timeout S] TITLE -- COMMAND [ARGS...]
// Prints "<seconds> <window id>" and exits 0; exits 1 when no such window maps within the timeout (10 s).
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    const auto cookie = xcb_get_property(connection, 0, window, name, type, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply) return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

}  // namespace

int main(int argc, char** argv) {
    double timeout = 10.0;
    int arg = 1;
    if (argc > 2 && std::string_view(argv[arg]) == "--timeout") {
        timeout = std::atof(argv[arg + 1]);
        arg += 2;
    }
    if (argc - arg < 3 || std::string_view(argv[arg + 1]) != "--") {
        std::fprintf(stderr, "usage: %s [--timeout S] TITLE -- COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    const std::string title = argv[arg];
    char** command = argv + arg + 2;

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot reach the X server (DISPLAY)\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t netName = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
    xcb_flush(connection);

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    pollfd watched{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const auto seen = Clock::now();
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                std::string name = property(connection, map->window, netName, utf8);
                if (name.empty()) name = property(connection, map->window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
                if (name.find(title) != std::string::npos) {
                    std::printf("%.3f 0x%x\n", std::chrono::duration<double>(seen - start).count(), map->window);
                    std::free(event);
                    waitpid(child, nullptr, 0);
                    xcb_disconnect(connection);
                    return 0;
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        poll(&watched, 1, static_cast<int>(left > 0 ? left : 0));
    }
    std::fprintf(stderr, "no window named like '%s' mapped within %.1f s\n", title.c_str(), timeout);
    waitpid(child, nullptr, WNOHANG);
    xcb_disconnect(connection);
    return 1;
}
