#include "Platform/Linux/Power/X11ScreenSaver.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>

namespace torvel {

X11ScreenSaver::X11ScreenSaver(std::string display) : display_(std::move(display)) {}

X11ScreenSaver::~X11ScreenSaver() {
    resume();
    disconnect();
}

bool X11ScreenSaver::connect() {
    if (connection_ && xcb_connection_has_error(connection_) == 0) return true;
    disconnect();
    if (display_.empty()) return false;
    connection_ = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(connection_) != 0) {
        disconnect();
        return false;
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_screensaver_id);
    if (!extension || !extension->present) {
        disconnect();
        return false;
    }
    return true;
}

void X11ScreenSaver::disconnect() {
    if (connection_) xcb_disconnect(connection_);  // also frees a connection that failed to open
    connection_ = nullptr;
    suspended_ = false;
}

bool X11ScreenSaver::suspend() {
    // The server counts suspensions per client: one of ours at a time keeps resume() balanced.
    if (suspended_ && holds()) return true;
    if (!connect()) return false;
    xcb_generic_error_t* error =
        xcb_request_check(connection_, xcb_screensaver_suspend_checked(connection_, 1));
    if (error) {
        std::free(error);
        return false;
    }
    suspended_ = true;
    return true;
}

void X11ScreenSaver::resume() {
    // Never write to a server that has gone: holds() notices that first and drops the connection.
    if (!holds()) return;
    xcb_screensaver_suspend(connection_, 0);
    xcb_flush(connection_);
    suspended_ = false;
}

bool X11ScreenSaver::holds() {
    if (!suspended_ || !connection_) return false;
    // Reading what is waiting (without waiting) is how xcb notices a server that has gone.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
    if (xcb_connection_has_error(connection_) == 0) return true;
    disconnect();
    return false;
}

}  // namespace torvel
