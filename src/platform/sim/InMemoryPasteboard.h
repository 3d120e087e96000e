#pragma once
// A clipboard that lives in this process only: for tests, and for commands
// that run without a desktop (they print the text instead).
#include "platform/Pasteboard.h"

namespace tavlo {

class InMemoryPasteboard final : public Pasteboard {
public:
    void clearContents() override {
        text_.reset();
        ++changeCount_;
    }
    void setString(std::string_view text) override {
        text_ = std::string(text);
        ++changeCount_;
    }
    std::optional<std::string> string() const override { return text_; }
    std::int64_t changeCount() const override { return changeCount_; }

private:
    std::optional<std::string> text_;
    std::int64_t changeCount_ = 0;
};

}  // namespace tavlo
