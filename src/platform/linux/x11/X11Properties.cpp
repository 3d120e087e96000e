#include "platform/linux/x11/X11Properties.h"

#include <algorithm>

namespace tavlo::x11 {
namespace {

struct Reply {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned char* data = nullptr;
    ~Reply() {
        if (data) XFree(data);
    }
};

bool read(Display* display, Window window, Atom property, Atom type, long longs, Reply& reply) {
    unsigned long after = 0;
    return XGetWindowProperty(display, window, property, 0, longs, False, type, &reply.type, &reply.format,
                              &reply.count, &after, &reply.data) == Success &&
           reply.data != nullptr;
}

}  // namespace

std::vector<unsigned long> longProperty(Display* display, Window window, Atom property, Atom type,
                                        std::size_t limit) {
    Reply reply;
    if (!read(display, window, property, type, static_cast<long>(limit), reply) || reply.format != 32) return {};
    // Xlib hands 32-bit items out as longs.
    const auto* items = reinterpret_cast<const unsigned long*>(reply.data);
    return std::vector<unsigned long>(items, items + std::min<unsigned long>(reply.count, limit));
}

std::optional<unsigned long> singleLong(Display* display, Window window, Atom property, Atom type) {
    const auto items = longProperty(display, window, property, type, 1);
    if (items.empty()) return std::nullopt;
    return items.front();
}

std::optional<std::string> textProperty(Display* display, Window window, Atom property, std::size_t limit) {
    Reply reply;
    if (!read(display, window, property, AnyPropertyType, static_cast<long>((limit + 3) / 4), reply) ||
        reply.format != 8)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(reply.data), std::min<unsigned long>(reply.count, limit));
}

}  // namespace tavlo::x11
