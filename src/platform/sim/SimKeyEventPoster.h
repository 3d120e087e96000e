#pragma once
// Keystrokes recorded instead of sent, for virtual-time tests. The test
// decides whether posting is permitted, and can react to each keystroke (a
// simulated field taking the pasted text, say) before its completion runs.
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/KeyEventPoster.h"

namespace tavlo {

class SimKeyEventPoster final : public KeyEventPoster {
public:
    enum class Keystroke { paste, copy, enter };
    struct Posted {
        Keystroke keystroke;
        std::optional<RunningApplication> target;
        bool operator==(const Posted&) const = default;
    };

    bool isPostingPermitted() const override { return permitted_; }
    bool requestPostingPermission() override {
        ++permissionRequests_;
        permitted_ = permitted_ || grantOnRequest_;
        return permitted_;
    }
    void postPaste(const RunningApplication& target, Completion completion) override {
        post({Keystroke::paste, target}, std::move(completion));
    }
    void postCopy(const std::optional<RunningApplication>& target, Completion completion) override {
        post({Keystroke::copy, target}, std::move(completion));
    }
    void postReturn(Completion completion) override { post({Keystroke::enter, std::nullopt}, std::move(completion)); }

    void setPermitted(bool permitted) { permitted_ = permitted; }
    // Whether a request for permission is granted.
    void setGrantOnRequest(bool grant) { grantOnRequest_ = grant; }
    // Runs for every keystroke that goes out, before its completion.
    void setOnPost(std::function<void(const Posted&)> onPost) { onPost_ = std::move(onPost); }
    const std::vector<Posted>& posted() const { return posted_; }
    int permissionRequests() const { return permissionRequests_; }

private:
    void post(Posted keystroke, Completion completion) {
        if (permitted_) {
            posted_.push_back(keystroke);
            if (onPost_) onPost_(keystroke);
        }
        if (completion) completion(permitted_);
    }

    bool permitted_ = true;
    bool grantOnRequest_ = false;
    int permissionRequests_ = 0;
    std::vector<Posted> posted_;
    std::function<void(const Posted&)> onPost_;
};

}  // namespace tavlo
