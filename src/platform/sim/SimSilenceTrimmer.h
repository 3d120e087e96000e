#pragma once
// A silence trimmer that answers what the test decided and remembers which
// recordings it was given; the files themselves stay untouched.
#include <filesystem>
#include <vector>

#include "platform/SilenceTrimmer.h"

namespace tavlo {

class SimSilenceTrimmer final : public SilenceTrimmer {
public:
    explicit SimSilenceTrimmer(SilenceTrimOutcome outcome = SilenceTrimOutcome::speechKept) : outcome_(outcome) {}

    SilenceTrimOutcome trimSilence(const std::filesystem::path& recording) noexcept override {
        try {
            recordings_.push_back(recording);
        } catch (...) {
        }
        return outcome_;
    }

    void setOutcome(SilenceTrimOutcome outcome) { outcome_ = outcome; }
    const std::vector<std::filesystem::path>& recordings() const { return recordings_; }

private:
    SilenceTrimOutcome outcome_;
    std::vector<std::filesystem::path> recordings_;
};

}  // namespace tavlo
