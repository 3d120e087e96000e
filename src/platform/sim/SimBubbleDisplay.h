#pragma once
// A bubble without a window: keeps the state and every change, for tests and
// for commands that run without a desktop.
#include <string>
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
    void setToolTip(const std::string& text) override { toolTip_ = text; }
    void setHandsFree(bool handsFree) override { handsFree_ = handsFree; }
    const std::vector<BubbleState>& history() const { return history_; }
    bool handsFree() const { return handsFree_; }
    bool visible() const { return visible_; }
    const std::string& toolTip() const { return toolTip_; }

private:
    std::string toolTip_;
    BubbleState state_ = BubbleState::idle;
    bool visible_ = false;
    bool handsFree_ = false;
    std::vector<BubbleState> history_;
};

class SimStatusItem final : public StatusItem {
public:
    void showStatusImage(BubbleState state) override { history_.push_back(state); }
    void showToolTip(const std::string& text) override { toolTip_ = text; }
    const std::vector<BubbleState>& history() const { return history_; }
    const std::string& toolTip() const { return toolTip_; }

private:
    std::string toolTip_;
    std::vector<BubbleState> history_;
};

}  // namespace tavlo
