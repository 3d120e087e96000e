#pragma once
// Global shortcuts without a desktop: registrations are kept in a table, a
// combination can be marked as held by another program, and a test presses
// a combination to reach the handler the way the desktop would.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/HotKeyService.h"

namespace tavlo {

class SimHotKeyService final : public HotKeyService {
public:
    struct Registered {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::uint32_t id;
    };

    void setPressHandler(PressHandler handler) override { handler_ = std::move(handler); }

    std::optional<HotKeyRegistration> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                     std::uint32_t id) override {
        const auto combination = std::pair{keyCode, modifiers};
        if (takenElsewhere_.count(combination)) return std::nullopt;
        for (const auto& [_, entry] : registered_)
            if (entry.keyCode == keyCode && entry.modifiers == modifiers) return std::nullopt;
        registered_[++lastRegistration_] = Registered{keyCode, modifiers, id};
        return lastRegistration_;
    }

    void unregisterHotKey(HotKeyRegistration registration) override { registered_.erase(registration); }

    // Another program holds this combination from now on.
    void takeElsewhere(std::uint32_t keyCode, std::uint32_t modifiers) { takenElsewhere_.insert({keyCode, modifiers}); }

    // The user pressed a combination; true when a registration took it.
    bool press(std::uint32_t keyCode, std::uint32_t modifiers) {
        for (const auto& [_, entry] : registered_)
            if (entry.keyCode == keyCode && entry.modifiers == modifiers) {
                if (handler_) handler_(entry.id);
                return true;
            }
        return false;
    }

    const std::map<HotKeyRegistration, Registered>& registered() const { return registered_; }
    bool isRegistered(std::uint32_t keyCode, std::uint32_t modifiers) const {
        for (const auto& [_, entry] : registered_)
            if (entry.keyCode == keyCode && entry.modifiers == modifiers) return true;
        return false;
    }

private:
    PressHandler handler_;
    std::map<HotKeyRegistration, Registered> registered_;
    std::set<std::pair<std::uint32_t, std::uint32_t>> takenElsewhere_;
    HotKeyRegistration lastRegistration_ = 0;
};

}  // namespace tavlo
