#pragma once
// A small picture shown above the windows through the layer shell of
// wlroots and KDE compositors, at the right edge of the output the
// compositor chooses, halfway down. It declines the keyboard (no keyboard
// interactivity) and lets the pointer through (an empty input region), so it
// can never take the focus from the field the user dictates into. The
// picture comes as premultiplied ARGB pixels in shared memory; two buffers
// take turns so a new picture never overwrites one the compositor still
// reads. On a HiDPI output the picture has the output's scale (twice the
// pixels each way at scale 2) and the surface says so, so the compositor
// shows it sharp instead of enlarging it. Main thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/linux/wayland/WaylandConnection.h"

struct wl_surface;
struct wl_buffer;
struct wl_output;
struct zwlr_layer_surface_v1;

namespace tavlo::wayland {

struct LayerSurfacePlacement {
    int width = 46;
    int height = 46;
    // The gap between the picture and the output's right edge.
    int rightMargin = 16;
};

class LayerSurface {
public:
    // Null when the compositor offers no layer shell (GNOME) or no shared memory.
    static std::unique_ptr<LayerSurface> create(std::shared_ptr<WaylandConnection> connection,
                                                LayerSurfacePlacement placement);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    // Picture pixels per surface unit: the scale of the output the surface
    // is on (before it is on one, the largest of all outputs).
    int scale() const { return scale_; }
    // The picture's size in pixels: the placement's size times the scale.
    int pixelWidth() const { return placement_.width * scale_; }
    int pixelHeight() const { return placement_.height * scale_; }
    // Runs when the scale changed (the surface moved to another output, or
    // the output's scale changed): a picture at the new scale is wanted, and
    // one given before at the old scale is dropped.
    void setScaleChanged(std::function<void()> changed) { scaleChanged_ = std::move(changed); }

    // Shows `pixels` (pixelWidth x pixelHeight, rows without padding,
    // premultiplied ARGB in native byte order), replacing the picture shown
    // before. While both buffers are still with the compositor the picture
    // is kept for the next buffer freed.
    void show(const std::uint32_t* pixels);
    void hide();
    bool shown() const { return surface_ != nullptr; }
    // Whether the compositor has placed the surface and a picture is up.
    bool mapped() const { return configured_ && presented_; }

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        std::uint32_t* pixels = nullptr;
        bool busy = false;
        LayerSurface* owner = nullptr;
    };

    LayerSurface(std::shared_ptr<WaylandConnection> connection, LayerSurfacePlacement placement);
    // Shared memory and two buffers at the current scale, replacing any before.
    bool allocate();
    void release();
    std::size_t pixelCount() const;
    // Follows the scale of the outputs the surface is on.
    void updateScale();
    void createSurface();
    void destroySurface();
    void present();

    static void configure(void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height);
    static void closed(void* data, zwlr_layer_surface_v1* surface);
    static void released(void* data, wl_buffer* buffer);
    static void entered(void* data, wl_surface* surface, wl_output* output);
    static void left(void* data, wl_surface* surface, wl_output* output);

    std::shared_ptr<WaylandConnection> connection_;
    LayerSurfacePlacement placement_;
    void* memory_ = nullptr;
    std::size_t memorySize_ = 0;
    std::array<Buffer, 2> buffers_{};
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    int scale_ = 1;
    std::vector<wl_output*> outputs_;  // those the surface is on
    std::function<void()> scaleChanged_;
    bool configured_ = false;
    bool presented_ = false;
    // The picture waiting for a configure or a free buffer.
    std::unique_ptr<std::uint32_t[]> pending_;
};

}  // namespace tavlo::wayland
