#pragma once
// Tones without a sound server: keeps the cues in the order they were played.
#include <string>
#include <vector>

#include "platform/FeedbackTones.h"

namespace tavlo {

class SimFeedbackTones final : public FeedbackTones {
public:
    void playStart() override { cues_.emplace_back("start"); }
    void playStop() override { cues_.emplace_back("stop"); }
    void playCancel() override { cues_.emplace_back("cancel"); }
    const std::vector<std::string>& cues() const { return cues_; }

private:
    std::vector<std::string> cues_;
};

}  // namespace tavlo
