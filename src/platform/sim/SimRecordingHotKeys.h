#pragma once
// Recording keys without a keyboard: the test presses Escape or Return, and
// the press reaches the handler through the main queue only while the keys
// are registered, as with the real hot keys.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/MainQueue.h"
#include "platform/RecordingHotKeys.h"

namespace tavlo {

class SimRecordingHotKeys final : public RecordingHotKeys {
public:
    explicit SimRecordingHotKeys(std::shared_ptr<MainQueue> mainQueue) : mainQueue_(std::move(mainQueue)) {}

    void installRecordingHotKeys(std::uint32_t triggerModifiers) override {
        installed_ = true;
        triggerModifiers_ = triggerModifiers;
        ++installCount_;
    }
    void uninstallRecordingHotKeys() override { installed_ = false; }

    // Returns whether the press was taken: the keys were registered, and the
    // modifiers held are all the trigger's (as the real registrations match).
    bool pressEscape(std::uint32_t modifiers = 0) { return press(onEscape, modifiers); }
    bool pressReturn(std::uint32_t modifiers = 0) { return press(onReturn, modifiers); }

    bool installed() const { return installed_; }
    int installCount() const { return installCount_; }
    std::uint32_t triggerModifiers() const { return triggerModifiers_; }

    std::function<void()> onEscape;
    std::function<void()> onReturn;

private:
    bool press(const std::function<void()>& handler, std::uint32_t modifiers) {
        if (!installed_ || !handler || (modifiers & ~triggerModifiers_) != 0) return false;
        mainQueue_->post(handler);
        return true;
    }

    std::shared_ptr<MainQueue> mainQueue_;
    bool installed_ = false;
    std::uint32_t triggerModifiers_ = 0;
    int installCount_ = 0;
};

}  // namespace tavlo
