#include "platform/linux/wayland/WaylandConnection.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "data-control-client-protocol.h"
#include "layer-shell-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"

namespace tavlo::wayland {
namespace {

template <typename Proxy>
Proxy* bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface, std::uint32_t offered,
            std::uint32_t wanted) {
    return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

// Only the scale matters here; the geometry and modes are ignored.
void outputGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t) {}
void outputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}

}  // namespace

std::shared_ptr<WaylandConnection> WaylandConnection::open() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // Two round trips: the globals, then the first events of what was bound.
    if (!connection->roundtrip() || !connection->roundtrip()) return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : display_(display) {
    static const wl_registry_listener listener = {&WaylandConnection::global, &WaylandConnection::globalRemoved};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    if (QCoreApplication::instance()) {
        notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { dispatchReadyEvents(); });
    }
}

WaylandConnection::~WaylandConnection() {
    notifier_.reset();
    for (const auto& output : outputs_) wl_output_destroy(output->output);
    if (layerShell_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
    if (virtualKeyboard_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(virtualKeyboard_));
    if (dataControl_) zwlr_data_control_manager_v1_destroy(dataControl_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

void WaylandConnection::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                               std::uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto is = [interface](const wl_interface& known) { return std::strcmp(interface, known.name) == 0; };
    // The first seat is the user's: desktops with several are rare.
    if (is(wl_seat_interface) && !self->seat_)
        self->seat_ = bind<wl_seat>(registry, name, wl_seat_interface, version, 1);
    else if (is(wl_compositor_interface) && !self->compositor_)
        self->compositor_ = bind<wl_compositor>(registry, name, wl_compositor_interface, version, 4);
    else if (is(wl_shm_interface) && !self->shm_)
        self->shm_ = bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
    else if (is(zwlr_data_control_manager_v1_interface) && !self->dataControl_) {
        self->dataControlVersion_ = std::min<std::uint32_t>(version, 2);
        self->dataControl_ = bind<zwlr_data_control_manager_v1>(registry, name, zwlr_data_control_manager_v1_interface,
                                                                 version, 2);
    } else if (is(zwp_virtual_keyboard_manager_v1_interface) && !self->virtualKeyboard_)
        self->virtualKeyboard_ = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, zwp_virtual_keyboard_manager_v1_interface, version, 1);
    else if (is(zwlr_layer_shell_v1_interface) && !self->layerShell_)
        self->layerShell_ = bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, 3);
    else if (is(wl_output_interface) && version >= 2) {
        // Version 2 brings the scale; without it every output is at 1.
        // Bound at version 2: the name and description of version 4 never come.
        static const wl_output_listener listener = {&outputGeometry, &outputMode, &WaylandConnection::outputDone,
                                                    &WaylandConnection::outputScaleEvent, nullptr, nullptr};
        auto output = std::make_unique<Output>();
        output->owner = self;
        output->name = name;
        output->output = bind<wl_output>(registry, name, wl_output_interface, version, 2);
        wl_output_add_listener(output->output, &listener, output.get());
        self->outputs_.push_back(std::move(output));
    }
}

// Seats of a desktop session come and go only with hardware and are kept
// until the connection ends; an output unplugged no longer counts for the scale.
void WaylandConnection::globalRemoved(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto gone = std::find_if(self->outputs_.begin(), self->outputs_.end(),
                                   [name](const auto& output) { return output->name == name; });
    if (gone == self->outputs_.end()) return;
    wl_output_destroy((*gone)->output);
    self->outputs_.erase(gone);
    if (self->outputsChanged_) self->outputsChanged_();
}

void WaylandConnection::outputScaleEvent(void* data, wl_output*, std::int32_t factor) {
    static_cast<Output*>(data)->pendingScale = std::max(1, factor);
}

void WaylandConnection::outputDone(void* data, wl_output*) {
    auto* output = static_cast<Output*>(data);
    if (output->scale == output->pendingScale) return;
    output->scale = output->pendingScale;
    if (output->owner->outputsChanged_) output->owner->outputsChanged_();
}

int WaylandConnection::outputScale(const wl_output* output) const {
    for (const auto& known : outputs_)
        if (known->output == output) return known->scale;
    return 1;
}

int WaylandConnection::largestOutputScale() const {
    int largest = 1;
    for (const auto& output : outputs_) largest = std::max(largest, output->scale);
    return largest;
}

bool WaylandConnection::roundtrip() { return wl_display_roundtrip(display_) >= 0; }

void WaylandConnection::flush() { wl_display_flush(display_); }

bool WaylandConnection::broken() const { return wl_display_get_error(display_) != 0; }

void WaylandConnection::dispatchReadyEvents() {
    // The socket was readable when the event loop looked, but a round trip
    // made since (setting the clipboard makes one) may have taken the data
    // already: a blocking dispatch would then wait for the compositor's next
    // message, which may never come, and the program would hang. So read
    // only what is there now, and hand out whatever is queued.
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) return stopListening();
    }
    wl_display_flush(display_);
    pollfd incoming{wl_display_get_fd(display_), POLLIN, 0};
    if (::poll(&incoming, 1, 0) > 0) {
        if (wl_display_read_events(display_) < 0) return stopListening();
    } else {
        wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) return stopListening();
    wl_display_flush(display_);
}

void WaylandConnection::stopListening() {
    // The compositor is gone: stop listening rather than spin on a dead socket.
    if (notifier_) notifier_->setEnabled(false);
}

}  // namespace tavlo::wayland
