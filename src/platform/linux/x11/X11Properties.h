#pragma once
// Reading other clients' window properties. Anyone can write them, and a
// window can vanish at any moment, so every read is bounded in size and
// simply comes back empty on failure.
#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace tavlo::x11 {

// 32-bit items (windows, cardinals) of a property of this type; at most `limit`.
std::vector<unsigned long> longProperty(Display* display, Window window, Atom property, Atom type,
                                        std::size_t limit = 4096);
std::optional<unsigned long> singleLong(Display* display, Window window, Atom property, Atom type);
// The bytes of an 8-bit property of any type; at most `limit`.
std::optional<std::string> textProperty(Display* display, Window window, Atom property, std::size_t limit = 4096);

}  // namespace tavlo::x11
