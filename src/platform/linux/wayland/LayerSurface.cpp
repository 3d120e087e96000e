#include "platform/linux/wayland/LayerSurface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "layer-shell-client-protocol.h"

namespace tavlo::wayland {

std::unique_ptr<LayerSurface> LayerSurface::create(std::shared_ptr<WaylandConnection> connection,
                                                   LayerSurfacePlacement placement) {
    if (!connection || !connection->layerShell() || !connection->compositor() || !connection->shm()) return nullptr;
    if (placement.width <= 0 || placement.height <= 0) return nullptr;
    std::unique_ptr<LayerSurface> surface(new LayerSurface(std::move(connection), placement));
    if (!surface->allocate()) return nullptr;
    return surface;
}

LayerSurface::LayerSurface(std::shared_ptr<WaylandConnection> connection, LayerSurfacePlacement placement)
    : connection_(std::move(connection)), placement_(placement), scale_(connection_->largestOutputScale()) {
    connection_->setOutputsChanged([this] { updateScale(); });
}

LayerSurface::~LayerSurface() {
    connection_->setOutputsChanged({});
    destroySurface();
    release();
    connection_->flush();
}

std::size_t LayerSurface::pixelCount() const {
    return static_cast<std::size_t>(pixelWidth()) * static_cast<std::size_t>(pixelHeight());
}

void LayerSurface::release() {
    for (Buffer& buffer : buffers_) {
        if (buffer.buffer) wl_buffer_destroy(buffer.buffer);
        buffer = Buffer{};
    }
    if (memory_) ::munmap(memory_, memorySize_);
    memory_ = nullptr;
    memorySize_ = 0;
}

bool LayerSurface::allocate() {
    release();
    const std::size_t stride = static_cast<std::size_t>(pixelWidth()) * 4;
    const std::size_t frame = stride * static_cast<std::size_t>(pixelHeight());
    memorySize_ = frame * buffers_.size();
    const int fd = ::memfd_create("tavlo-bubble", MFD_CLOEXEC);
    if (fd < 0) return false;
    if (::ftruncate(fd, static_cast<off_t>(memorySize_)) != 0) {
        ::close(fd);
        return false;
    }
    memory_ = ::mmap(nullptr, memorySize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory_ == MAP_FAILED) {
        memory_ = nullptr;
        ::close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(connection_->shm(), fd, static_cast<std::int32_t>(memorySize_));
    static const wl_buffer_listener listener = {&LayerSurface::released};
    for (std::size_t index = 0; index < buffers_.size(); ++index) {
        Buffer& buffer = buffers_[index];
        buffer.buffer = wl_shm_pool_create_buffer(pool, static_cast<std::int32_t>(index * frame), pixelWidth(),
                                                  pixelHeight(), static_cast<std::int32_t>(stride),
                                                  WL_SHM_FORMAT_ARGB8888);
        buffer.pixels = reinterpret_cast<std::uint32_t*>(static_cast<char*>(memory_) + index * frame);
        buffer.owner = this;
        wl_buffer_add_listener(buffer.buffer, &listener, &buffer);
    }
    wl_shm_pool_destroy(pool);
    ::close(fd);
    connection_->flush();
    return true;
}

void LayerSurface::show(const std::uint32_t* pixels) {
    if (!memory_) return;  // the memory could not be had at this scale
    const std::size_t count = pixelCount();
    if (!pending_) pending_ = std::make_unique<std::uint32_t[]>(count);
    std::copy(pixels, pixels + count, pending_.get());
    if (!surface_) createSurface();
    present();
}

void LayerSurface::hide() {
    destroySurface();
    connection_->flush();
}

void LayerSurface::createSurface() {
    static const zwlr_layer_surface_v1_listener listener = {&LayerSurface::configure, &LayerSurface::closed};
    static const wl_surface_listener surfaceListener = {&LayerSurface::entered, &LayerSurface::left};
    surface_ = wl_compositor_create_surface(connection_->compositor());
    wl_surface_add_listener(surface_, &surfaceListener, this);
    // Clicks go to whatever is below: the picture only shows the state.
    wl_region* nothing = wl_compositor_create_region(connection_->compositor());
    wl_surface_set_input_region(surface_, nothing);
    wl_region_destroy(nothing);
    layer_ = zwlr_layer_shell_v1_get_layer_surface(connection_->layerShell(), surface_, nullptr,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "tavlo-bubble");
    zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
    zwlr_layer_surface_v1_set_size(layer_, static_cast<std::uint32_t>(placement_.width),
                                   static_cast<std::uint32_t>(placement_.height));
    // Anchored to the right edge alone: the compositor centres it vertically.
    zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_margin(layer_, 0, placement_.rightMargin, 0, 0);
    // No exclusive zone: windows are not pushed aside for it.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, 0);
    // The first commit carries no picture: the compositor answers with a configure.
    wl_surface_commit(surface_);
    connection_->flush();
}

void LayerSurface::destroySurface() {
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    if (surface_) wl_surface_destroy(surface_);
    layer_ = nullptr;
    surface_ = nullptr;
    outputs_.clear();
    // A surface gone takes its buffers out of use: the compositor shows
    // them no more.
    for (Buffer& buffer : buffers_) buffer.busy = false;
    configured_ = false;
    presented_ = false;
}

void LayerSurface::present() {
    if (!surface_ || !configured_ || !pending_) return;
    const auto free = std::find_if(buffers_.begin(), buffers_.end(), [](const Buffer& b) { return !b.busy; });
    if (free == buffers_.end()) return;  // shown when a buffer comes back
    std::copy(pending_.get(), pending_.get() + pixelCount(), free->pixels);
    pending_.reset();
    free->busy = true;
    wl_surface_set_buffer_scale(surface_, scale_);
    wl_surface_attach(surface_, free->buffer, 0, 0);
    wl_surface_damage(surface_, 0, 0, placement_.width, placement_.height);
    wl_surface_commit(surface_);
    presented_ = true;
    connection_->flush();
}

void LayerSurface::configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t,
                             std::uint32_t) {
    auto* self = static_cast<LayerSurface*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    self->configured_ = true;
    self->present();
}

void LayerSurface::closed(void* data, zwlr_layer_surface_v1*) {
    // The compositor took it down (its output went away); the next picture
    // shown makes a new one.
    static_cast<LayerSurface*>(data)->destroySurface();
}

void LayerSurface::released(void* data, wl_buffer*) {
    auto* buffer = static_cast<Buffer*>(data);
    buffer->busy = false;
    // A picture that found both buffers taken goes up now.
    buffer->owner->present();
}

void LayerSurface::updateScale() {
    int wanted = 1;
    for (wl_output* output : outputs_) wanted = std::max(wanted, connection_->outputScale(output));
    if (outputs_.empty()) wanted = connection_->largestOutputScale();
    if (wanted == scale_) return;
    scale_ = wanted;
    // The buffers the compositor still holds stay valid for it: it keeps
    // what it shows until the next picture arrives.
    pending_.reset();
    allocate();
    if (scaleChanged_) scaleChanged_();
}

void LayerSurface::entered(void* data, wl_surface*, wl_output* output) {
    auto* self = static_cast<LayerSurface*>(data);
    self->outputs_.push_back(output);
    self->updateScale();
}

void LayerSurface::left(void* data, wl_surface*, wl_output* output) {
    auto* self = static_cast<LayerSurface*>(data);
    std::erase(self->outputs_, output);
    // Leaving the last output keeps the scale: the next enter decides.
    if (!self->outputs_.empty()) self->updateScale();
}

}  // namespace tavlo::wayland
