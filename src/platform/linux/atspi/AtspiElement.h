#pragma once
// One element of another application, reached over the accessibility bus
// (AT-SPI2). Text positions cross the bus in the toolkit's own counting and
// are converted to and from UTF-16 here. Each read is several calls, not one
// atomic snapshot: the character count is read before and after, and the read
// repeated when the text changed in between. Every failure (the application
// quit, stopped answering, or the element went away) reads as absent.
// Main thread only.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Accessibility.h"
#include "platform/linux/atspi/TextOffsets.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace tavlo::atspi {

class AtspiElement final : public AccessibilityElement {
public:
    // Takes a reference of its own to `accessible`.
    explicit AtspiElement(AtspiAccessible* accessible);
    ~AtspiElement() override;
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    std::optional<int> processIdentifier() const override;
    // Absent for password fields: their text is never read.
    std::optional<std::string> value() const override;
    // The first selection, or the caret as an empty range.
    std::optional<TextRange> selectedTextRange() const override;
    // Replaces the whole text in one step, the way an application expects
    // an assistive tool to set it; true when the element then holds it.
    bool setValue(std::string_view value) override;
    // True when the element then shows that selection (or caret).
    bool setSelectedTextRange(TextRange range) override;
    // Whether the element offers its text for writing at all (terminals and
    // page content do not): where it does, a write is worth trying first.
    bool isEditable() const;

    AtspiAccessible* accessible() const { return accessible_; }

private:
    struct TextRead {
        std::string text;
        OffsetUnit unit = OffsetUnit::codePoint;
        std::optional<TextRange> selection;  // UTF-16; only when asked for
    };
    std::optional<TextRead> readText(bool withSelection) const;
    bool isPasswordField() const;

    AtspiAccessible* accessible_;
};

}  // namespace tavlo::atspi
