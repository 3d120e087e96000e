#pragma once
// The desktop's accessibility interface, as far as text goes: the element
// that has the keyboard focus, its text and selection, and writing text into
// it. The controller snapshots the focused field when a dictation starts, and
// delivery checks through it that a paste arrived.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

// A stretch of text in UTF-16 code units, as accessibility interfaces count.
struct TextRange {
    std::int64_t location = 0;
    std::int64_t length = 0;
    bool operator==(const TextRange&) const = default;
};

// One element of another application's interface. Every read may fail (the
// application quit, the element went away): failures read as absent.
class AccessibilityElement {
public:
    virtual ~AccessibilityElement() = default;
    virtual std::optional<int> processIdentifier() const = 0;
    // The element's value when it is text.
    virtual std::optional<std::string> value() const = 0;
    virtual std::optional<TextRange> selectedTextRange() const = 0;
    // Both return whether the element accepted the change.
    virtual bool setValue(std::string_view value) = 0;
    virtual bool setSelectedTextRange(TextRange range) = 0;
};

// The focused text field as it was at one moment.
struct FocusedTextSnapshot {
    std::shared_ptr<AccessibilityElement> element;
    std::string value;
    std::optional<TextRange> selectedRange;  // absent when it could not be read
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Whether the user lets this program read and control other applications.
    virtual bool isProcessTrusted() const = 0;
    // Asks the user for that trust where the desktop has a way to; returns
    // whether the program is trusted now.
    virtual bool requestTrustWithPrompt() = 0;
    // The element with the keyboard focus, anywhere on the desktop; null when
    // there is none or it cannot be read.
    virtual std::shared_ptr<AccessibilityElement> focusedElement() const = 0;
};

}  // namespace tavlo
