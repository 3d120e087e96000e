// Stored key combinations in the words a GlobalShortcuts portal takes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/linux/portal/PreferredTrigger.h"

namespace tavlo::portal {
namespace {

TEST(PreferredTriggerTest, ModifiersComeInTheXdgShortcutOrderAndKeysByTheirXkbNames) {
    struct Case {
        const char* name;
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::optional<std::string> expected;
    };
    // Stored masks: command 0x100, shift 0x200, option 0x800, control 0x1000.
    const Case cases[] = {
        {"ControlOptionLetter", 2, 0x1000 | 0x0800, "CTRL+ALT+d"},
        {"AllFourWithSpace", 49, 0x0100 | 0x0200 | 0x0800 | 0x1000, "CTRL+ALT+SHIFT+LOGO+space"},
        {"ShiftDigit", 18, 0x0200, "SHIFT+1"},
        {"AFunctionKeyAlone", 105, 0, "F13"},
        {"AKeyWithoutAName", 0xffff, 0x1000, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(preferredTrigger(c.keyCode, c.modifiers), c.expected);
    }
}

}  // namespace
}  // namespace tavlo::portal
