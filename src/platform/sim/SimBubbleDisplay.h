#pragma once
// A bubble without a window: keeps the state and every change, for tests and
// for commands that run without a desktop.
#include <vector>

#include "platform/BubbleDisplay.h"
#include "platform/StatusItem.h"

namespace tavlo {

class SimBubbleDisplay final : public BubbleDisplay {
public:
    void setState(BubbleState state) override {
        state_ = state;
        history_.push_back(state);
    }
    BubbleState state() const override { return state_; }
    void setBubbleShown(bool shown) override { visible_ = shown; }
    const std::vector<BubbleState>& history() const { return history_; }
    bool visible() const { return visible_; }

private:
    BubbleState state_ = BubbleState::idle;
    bool visible_ = false;
    std::vector<BubbleState> history_;
};

class SimStatusItem final : public StatusItem {
public:
    void showStatusImage(BubbleState state) override { history_.push_back(state); }
    const std::vector<BubbleState>& history() const { return history_; }

private:
    std::vector<BubbleState> history_;
};

}  // namespace tavlo
