#pragma once
// Global shortcuts on X11: a passive grab of the key combination on the root
// window, with every combination of the lock modifiers (Caps, Num, Scroll),
// so the shortcut works whatever lock is on. A grab another client holds
// fails at once (BadAccess), which is the "could not register" case; this
// program registering the same combination twice fails as well. When the
// keyboard layout changes, the grabs move to the keys that now carry the
// stored keys.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/HotKeyService.h"
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::x11 {

class X11HotKeyService final : public HotKeyService, public std::enable_shared_from_this<X11HotKeyService> {
public:
    static std::shared_ptr<X11HotKeyService> create(std::shared_ptr<X11Connection> connection);
    ~X11HotKeyService() override;

    void setPressHandler(PressHandler handler) override { handler_ = std::move(handler); }
    std::optional<HotKeyRegistration> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                     std::uint32_t id) override;
    void unregisterHotKey(HotKeyRegistration registration) override;

private:
    struct Grab {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::uint32_t id;
        unsigned keycode = 0;  // X key code grabbed; 0 when the layout has none
        unsigned state = 0;    // X modifier state without locks
        bool isDown = false;
    };

    explicit X11HotKeyService(std::shared_ptr<X11Connection> connection);
    std::vector<unsigned> lockVariants() const;
    bool grab(Grab& entry);
    void ungrab(const Grab& entry);
    void regrabAll();
    void handleEvent(const XEvent& event);

    std::shared_ptr<X11Connection> connection_;
    X11Connection::ListenerId eventListener_ = 0;
    X11Connection::ListenerId keyboardListener_ = 0;
    PressHandler handler_;
    std::map<HotKeyRegistration, Grab> grabs_;
    HotKeyRegistration lastRegistration_ = 0;
};

}  // namespace tavlo::x11
