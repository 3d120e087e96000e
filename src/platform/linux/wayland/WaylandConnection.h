#pragma once
// This program's own connection to the Wayland compositor, beside Qt's: the
// protocols that let a client without the keyboard focus manage the
// clipboard, type, and show a surface that never takes the focus belong to
// wlroots and KDE compositors, and Qt does not speak them. The connection
// learns at start which of them the compositor offers. Its events are
// dispatched from the Qt event loop when there is one; calls that need an
// answer at once wait for it themselves. Main thread only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_compositor;
struct wl_shm;
struct wl_output;
struct zwlr_data_control_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_layer_shell_v1;
class QSocketNotifier;

namespace tavlo::wayland {

class WaylandConnection {
public:
    // The display named by WAYLAND_DISPLAY; null when there is none or it
    // cannot be reached.
    static std::shared_ptr<WaylandConnection> open();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    // The compositor's globals; null where it does not offer them.
    wl_seat* seat() const { return seat_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_data_control_manager_v1* dataControlManager() const { return dataControl_; }
    std::uint32_t dataControlVersion() const { return dataControlVersion_; }
    zwp_virtual_keyboard_manager_v1* virtualKeyboardManager() const { return virtualKeyboard_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }

    // The scale of an output (how many picture pixels per surface unit the
    // screen shows, 2 on most HiDPI screens); 1 for one not known.
    int outputScale(const wl_output* output) const;
    // The largest scale of all outputs: the best guess for a surface the
    // compositor has not put on an output yet.
    int largestOutputScale() const;
    // Runs after an output's scale changed or an output came or went. One
    // listener (the bubble's surface); it must clear it before it goes.
    void setOutputsChanged(std::function<void()> changed) { outputsChanged_ = std::move(changed); }

    // Sends what is queued and waits until the compositor has answered it,
    // dispatching the events that arrive meanwhile. False once the
    // connection is broken.
    bool roundtrip();
    // Reads what the compositor has sent so far and hands it to the
    // listeners, never waiting for more. The event loop calls it whenever the
    // socket becomes readable.
    void dispatchReadyEvents();
    // Sends what is queued, without waiting.
    void flush();
    // Whether the compositor went away or refused a request.
    bool broken() const;

private:
    explicit WaylandConnection(wl_display* display);
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemoved(void* data, wl_registry* registry, std::uint32_t name);
    void stopListening();
    struct Output {
        WaylandConnection* owner = nullptr;
        std::uint32_t name = 0;
        wl_output* output = nullptr;
        int scale = 1;
        int pendingScale = 1;  // applied with the output's `done`
    };
    static void outputScaleEvent(void* data, wl_output* output, std::int32_t factor);
    static void outputDone(void* data, wl_output* output);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_data_control_manager_v1* dataControl_ = nullptr;
    std::uint32_t dataControlVersion_ = 0;
    zwp_virtual_keyboard_manager_v1* virtualKeyboard_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::function<void()> outputsChanged_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tavlo::wayland
