#pragma once
// Recording keys without a keyboard: the test presses Escape or Return, and
// the press reaches the handler through the main queue only while the keys
// are registered, as with the real hot keys.
#include <functional>
#include <memory>
#include <utility>

#include "platform/MainQueue.h"
#include "platform/RecordingHotKeys.h"

namespace tavlo {

class SimRecordingHotKeys final : public RecordingHotKeys {
public:
    explicit SimRecordingHotKeys(std::shared_ptr<MainQueue> mainQueue) : mainQueue_(std::move(mainQueue)) {}

    void installRecordingHotKeys() override {
        installed_ = true;
        ++installCount_;
    }
    void uninstallRecordingHotKeys() override { installed_ = false; }

    // Returns whether the press was taken (the keys were registered).
    bool pressEscape() { return press(onEscape); }
    bool pressReturn() { return press(onReturn); }

    bool installed() const { return installed_; }
    int installCount() const { return installCount_; }

    std::function<void()> onEscape;
    std::function<void()> onReturn;

private:
    bool press(const std::function<void()>& handler) {
        if (!installed_ || !handler) return false;
        mainQueue_->post(handler);
        return true;
    }

    std::shared_ptr<MainQueue> mainQueue_;
    bool installed_ = false;
    int installCount_ = 0;
};

}  // namespace tavlo
