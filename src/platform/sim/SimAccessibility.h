#pragma once
// An accessibility interface described by the test: whether this program is
// trusted, and the focused element, a text field whose value and selection the
// test sets and reads back.
#include <memory>
#include <utility>

#include "platform/Accessibility.h"

namespace tavlo {

class SimTextField final : public AccessibilityElement {
public:
    explicit SimTextField(std::optional<int> processIdentifier, std::optional<std::string> value = std::string(),
                          std::optional<TextRange> selection = std::nullopt)
        : processIdentifier_(processIdentifier), value_(std::move(value)), selection_(selection) {}

    std::optional<int> processIdentifier() const override { return processIdentifier_; }
    std::optional<std::string> value() const override { return value_; }
    std::optional<TextRange> selectedTextRange() const override { return selection_; }
    bool setValue(std::string_view value) override {
        if (!writable) return false;
        value_ = std::string(value);
        return true;
    }
    bool setSelectedTextRange(TextRange range) override {
        if (!writable) return false;
        selection_ = range;
        return true;
    }

    bool writable = true;

private:
    std::optional<int> processIdentifier_;
    std::optional<std::string> value_;
    std::optional<TextRange> selection_;
};

class SimAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() const override { return trusted; }
    bool requestTrustWithPrompt() override {
        ++prompts;
        return trusted;
    }
    std::shared_ptr<AccessibilityElement> focusedElement() const override { return focused; }

    bool trusted = true;
    int prompts = 0;
    std::shared_ptr<AccessibilityElement> focused;
};

}  // namespace tavlo
