#pragma once
// Key activity without a desktop: a test plays key changes into the handlers
// the way the desktop's key monitor would, duplicates included.
#include <cstdint>
#include <string>
#include <utility>

#include "platform/KeyEventSource.h"

namespace tavlo {

class SimKeyEventSource final : public KeyEventSource {
public:
    bool start(KeyEventHandlers handlers) override {
        handlers_ = std::move(handlers);
        started_ = true;
        return true;
    }
    void stop() override {
        handlers_ = {};
        started_ = false;
    }
    std::string functionKeyName() const override { return functionKey; }
    std::uint32_t functionKeyModifiers() const override { return functionModifiers; }
    // The name the simulated keyboard gives its function key, and the
    // modifiers it holds (Control when a Ctrl key stands in for it).
    std::string functionKey = "Fn";
    std::uint32_t functionModifiers = 0;

    bool started() const { return started_; }

    void key(std::uint32_t keyCode, std::uint32_t modifiers, bool isDown) {
        if (handlers_.keyChanged) handlers_.keyChanged(keyCode, modifiers, isDown);
    }
    void function(bool isDown) {
        if (handlers_.functionKeyChanged) handlers_.functionKeyChanged(isDown);
    }
    void modifiers(std::uint32_t mask) {
        if (handlers_.modifiersChanged) handlers_.modifiersChanged(mask);
    }

private:
    KeyEventHandlers handlers_;
    bool started_ = false;
};

}  // namespace tavlo
