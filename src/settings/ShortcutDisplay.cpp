#include "settings/ShortcutDisplay.h"

#include <array>
#include <limits>
#include <string_view>
#include <utility>

#include "base/Records.h"

namespace tavlo {
namespace {

constexpr std::array<std::pair<std::uint16_t, std::string_view>, 40> keyNames{{
    {49, "Space"}, {36, "Return"}, {53, "Escape"}, {48, "Tab"},
    {29, "0"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"},
    {23, "5"}, {22, "6"}, {26, "7"}, {28, "8"}, {25, "9"},
    {0, "A"}, {11, "B"}, {8, "C"}, {2, "D"}, {14, "E"}, {3, "F"}, {5, "G"},
    {4, "H"}, {34, "I"}, {38, "J"}, {40, "K"}, {37, "L"}, {46, "M"},
    {45, "N"}, {31, "O"}, {35, "P"}, {12, "Q"}, {15, "R"}, {1, "S"}, {17, "T"},
    {32, "U"}, {9, "V"}, {13, "W"}, {7, "X"}, {16, "Y"}, {6, "Z"},
}};

}  // namespace

std::uint32_t carbonModifiers(std::uint64_t flags) {
    std::uint32_t mask = 0;
    if (flags & EventModifierFlag::command) mask |= CarbonModifier::command;
    if (flags & EventModifierFlag::option) mask |= CarbonModifier::option;
    if (flags & EventModifierFlag::control) mask |= CarbonModifier::control;
    if (flags & EventModifierFlag::shift) mask |= CarbonModifier::shift;
    return mask;
}

std::string keyName(std::uint16_t keyCode) {
    for (const auto& [code, name] : keyNames)
        if (code == keyCode) return std::string(name);
    return "Key " + std::to_string(keyCode);
}

std::string modifierDisplay(std::uint64_t flags) { return modifierMaskDisplay(carbonModifiers(flags)); }

std::string modifierMaskDisplay(std::uint32_t carbonMask) {
    std::string display;
    auto add = [&display](std::string_view word) {
        if (!display.empty()) display += '+';
        display += word;
    };
    // The desktop adapters keep Alt in the option bit and Super in the
    // command bit.
    if (carbonMask & CarbonModifier::control) add("Ctrl");
    if (carbonMask & CarbonModifier::option) add("Alt");
    if (carbonMask & CarbonModifier::shift) add("Shift");
    if (carbonMask & CarbonModifier::command) add("Super");
    return display;
}

std::string storedShortcutDisplay(std::uint32_t keyCode, std::uint32_t carbonMask) {
    std::string text = modifierMaskDisplay(carbonMask);
    if (!text.empty()) text += '+';
    // Key codes are 16-bit; a larger stored value (a damaged setting) is
    // shown by its number rather than cut down to another key's name.
    if (keyCode > std::numeric_limits<std::uint16_t>::max()) return text + "Key " + std::to_string(keyCode);
    return text + keyName(static_cast<std::uint16_t>(keyCode));
}

std::string shortcutDisplay(std::uint16_t keyCode, std::uint64_t flags) {
    std::string display = modifierDisplay(flags);
    if (!display.empty()) display += '+';
    return display + keyName(keyCode);
}

std::string triggerDisplay(const TriggerShortcut& trigger, std::string_view functionKeyName) {
    if (trigger.isFunctionKey) return std::string(functionKeyName);
    if (trigger.keyCode) return storedShortcutDisplay(*trigger.keyCode, trigger.modifiers);
    if (trigger.modifiers != 0) return modifierMaskDisplay(trigger.modifiers);
    // Nothing to go by but the stored words.
    return trigger.display;
}

std::string pressTriggerDisplay(const TriggerShortcut& trigger, std::string_view functionKeyName) {
    const std::string keys = triggerDisplay(trigger, functionKeyName);
    return trigger.isFunctionKey ? "Double-tap " + keys : keys;
}

}  // namespace tavlo
