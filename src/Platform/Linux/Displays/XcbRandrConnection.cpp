#include "Platform/Linux/Displays/XcbRandrConnection.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <QMetaObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdlib>
#include <utility>

namespace torvel {

namespace {

// xcb replies are malloc'd; this frees them on every path out.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

constexpr std::uint16_t kEvents = XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                  XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE;

// Outputs and CRTCs came with RandR 1.2; monitors with 1.5. Null when the server has no RandR 1.2.
Reply<xcb_randr_query_version_reply_t> randrVersion(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!extension || !extension->present) return own<xcb_randr_query_version_reply_t>(nullptr);
    auto version =
        own(xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
    if (version && version->major_version == 1 && version->minor_version < 2) version.reset();
    return version;
}

}  // namespace

XcbRandrConnection::XcbRandrConnection(LogSink& log, std::string category, std::string display,
                                       std::string consequence)
    : log_(log, std::move(category)), display_(std::move(display)), consequence_(std::move(consequence)) {}

XcbRandrConnection::~XcbRandrConnection() {
    disconnect();
}

bool XcbRandrConnection::hasRandr(const std::string& display) {
    if (display.empty()) return false;
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool has = xcb_connection_has_error(connection) == 0 && randrVersion(connection) != nullptr;
    xcb_disconnect(connection);
    return has;
}

bool XcbRandrConnection::connect() {
    if (connection_ && xcb_connection_has_error(connection_) == 0) return true;
    const bool wasConnected = connection_ != nullptr;
    disconnect();
    const auto fail = [&](const char* why) {
        if (!reportedUnreachable_ || wasConnected)
            log_.error("Cannot read the displays of X display '{}' ({}); {}", display_, why, consequence_);
        reportedUnreachable_ = true;
        disconnect();
        return false;
    };
    if (display_.empty()) return fail("no display");
    int screen = 0;
    connection_ = xcb_connect(display_.c_str(), &screen);
    if (xcb_connection_has_error(connection_) != 0) return fail("no connection");
    auto version = randrVersion(connection_);
    if (!version) return fail("no RandR 1.2");
    hasMonitors_ = version->major_version > 1 || version->minor_version >= 5;
    firstEvent_ = xcb_get_extension_data(connection_, &xcb_randr_id)->first_event;
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen && roots.rem > 0; ++i) xcb_screen_next(&roots);
    if (roots.rem <= 0) return fail("no such screen");
    root_ = roots.data->root;
    reportedUnreachable_ = false;
    return true;
}

void XcbRandrConnection::disconnect() {
    notifier_.reset();
    if (connection_) xcb_disconnect(connection_);  // also frees a connection that failed to open
    connection_ = nullptr;
}

std::optional<XcbRandrConnection::Reading> XcbRandrConnection::read() {
    if (!connect()) return std::nullopt;
    // A connection made afresh (the server came back) is listened to again.
    if (onChange_ && !notifier_) listen();
    // Whatever the server said before this reading is answered by it: a burst of events is one reading,
    // taken after its last event.
    if (notifier_) drainEvents(false);
    if (!connection_) return std::nullopt;
    // "Current" answers from what the server knows, without probing the outputs again (a probe reads
    // every monitor's EDID and holds the server meanwhile).
    // The monitors are asked first and their reply taken last: the output requests share its round trip.
    xcb_randr_get_monitors_cookie_t monitorsCookie{};
    if (hasMonitors_) monitorsCookie = xcb_randr_get_monitors(connection_, root_, 1);
    Reading reading;
    bool settled = readOutputs(false, reading.outputs);
    // An output given a mode before any probe saw it connected (or just unplugged, its CRTC not yet
    // taken away) reads "disconnected" with a CRTC: only a probe says which it is. Rare, and after a
    // change only, so the probe costs nothing in the usual case.
    if (settled && std::any_of(reading.outputs.begin(), reading.outputs.end(),
                               [](const auto& o) { return o.unconfirmed; }))
        settled = readOutputs(true, reading.outputs);
    if (hasMonitors_) {
        if (auto reply = own(xcb_randr_get_monitors_reply(connection_, monitorsCookie, nullptr))) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_output_t* shown = xcb_randr_monitor_info_outputs(it.data);
                const int shownCount = xcb_randr_monitor_info_outputs_length(it.data);
                reading.monitors.push_back({std::vector<DisplayID>(shown, shown + shownCount), it.data->x,
                                            it.data->y, it.data->width, it.data->height});
            }
        }
    }
    // Waiting for these replies may have pulled events off the socket into xcb's queue, where the
    // socket notifier never sees them: look at the queue on the next turn. They are newer than this
    // reading, so they count.
    if (notifier_)
        QMetaObject::invokeMethod(
            notifier_.get(), [this] { drainEvents(true); }, Qt::QueuedConnection);
    if (!settled) return std::nullopt;
    return reading;
}

bool XcbRandrConnection::readOutputs(bool probe, std::vector<XcbRandrMirrors::Output>& outputs) {
    outputs.clear();
    std::vector<xcb_randr_output_t> ids;
    xcb_timestamp_t timestamp = 0;
    if (probe) {
        auto resources = own(xcb_randr_get_screen_resources_reply(
            connection_, xcb_randr_get_screen_resources(connection_, root_), nullptr));
        if (!resources) return false;
        const xcb_randr_output_t* first = xcb_randr_get_screen_resources_outputs(resources.get());
        ids.assign(first, first + xcb_randr_get_screen_resources_outputs_length(resources.get()));
        timestamp = resources->config_timestamp;
    } else {
        auto resources = own(xcb_randr_get_screen_resources_current_reply(
            connection_, xcb_randr_get_screen_resources_current(connection_, root_), nullptr));
        if (!resources) return false;
        const xcb_randr_output_t* first = xcb_randr_get_screen_resources_current_outputs(resources.get());
        ids.assign(first, first + xcb_randr_get_screen_resources_current_outputs_length(resources.get()));
        timestamp = resources->config_timestamp;
    }
    // All requests first, then the replies: one round trip instead of one per output.
    std::vector<xcb_randr_get_output_info_cookie_t> cookies;
    for (const auto id : ids) cookies.push_back(xcb_randr_get_output_info(connection_, id, timestamp));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        auto info = own(xcb_randr_get_output_info_reply(connection_, cookies[i], nullptr));
        if (!info || info->crtc == 0) continue;
        // What the last probe found: a disconnected output driven by a CRTC is stale until probed, and
        // after a probe it shows nothing.
        const bool disconnected = info->connection == XCB_RANDR_CONNECTION_DISCONNECTED;
        if (disconnected && probe) continue;
        outputs.push_back({ids[i], info->crtc, disconnected});
    }
    return true;
}

void XcbRandrConnection::follow(std::function<void()> onChange) {
    onChange_ = std::move(onChange);
    if (!onChange_) {
        if (connection_ && xcb_connection_has_error(connection_) == 0) {
            xcb_randr_select_input(connection_, root_, 0);
            xcb_flush(connection_);
        }
        notifier_.reset();
        return;
    }
    if (!notifier_ && connect()) listen();
}

void XcbRandrConnection::listen() {
    xcb_randr_select_input(connection_, root_, kEvents);
    xcb_flush(connection_);
    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drainEvents(true); });
}

void XcbRandrConnection::drainEvents(bool report) {
    if (!connection_) return;
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const int type = event->response_type & 0x7f;
        if (type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == firstEvent_ + XCB_RANDR_NOTIFY)
            changed = true;
        std::free(event);
    }
    if (xcb_connection_has_error(connection_) != 0) {
        // The server went away: say so once and stop listening to a dead socket.
        log_.error("Lost X display '{}'; display changes are no longer followed", display_);
        if (notifier_) {
            notifier_->setEnabled(false);
            notifier_.release()->deleteLater();  // we may be inside its signal
        }
        xcb_disconnect(connection_);
        connection_ = nullptr;
        reportedUnreachable_ = true;
        changed = true;
    }
    // One change per batch, reported as done: the server sends its events after the change is made.
    if (changed && (report || !connection_) && onChange_) onChange_();
}

}  // namespace torvel
