#pragma once
// System-wide keyboard shortcuts: a key combination registered here reaches
// this program whatever application has the keyboard focus, and is not
// delivered to that application.
#include <cstdint>
#include <functional>
#include <optional>

namespace tavlo {

// A registration, returned by `registerHotKey` and given back to unregister it.
using HotKeyRegistration = std::uint64_t;

class HotKeyService {
public:
    // Receives the id of a pressed hot key, on the main thread. A key held
    // down reports one press.
    using PressHandler = std::function<void(std::uint32_t id)>;

    virtual ~HotKeyService() = default;

    // The one receiver of presses; replaces any earlier one.
    virtual void setPressHandler(PressHandler handler) = 0;

    // Registers a stored key code with a stored modifier mask under `id`.
    // Absent when the combination cannot be registered: the key does not
    // exist on this keyboard, another program holds it, or this program
    // registered it already.
    virtual std::optional<HotKeyRegistration> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                             std::uint32_t id) = 0;

    // Ends a registration; unknown registrations are ignored.
    virtual void unregisterHotKey(HotKeyRegistration registration) = 0;
};

}  // namespace tavlo
