#include "settings/ShortcutDisplay.h"

#include <array>
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

std::string modifierDisplay(std::uint64_t flags) {
    std::string display;
    auto add = [&display](std::string_view word) {
        if (!display.empty()) display += '+';
        display += word;
    };
    if (flags & EventModifierFlag::control) add("Ctrl");
    if (flags & EventModifierFlag::option) add("Opt");
    if (flags & EventModifierFlag::shift) add("Shift");
    if (flags & EventModifierFlag::command) add("Cmd");
    return display;
}

std::string shortcutDisplay(std::uint16_t keyCode, std::uint64_t flags) {
    std::string display = modifierDisplay(flags);
    if (!display.empty()) display += '+';
    return display + keyName(keyCode);
}

}  // namespace tavlo
