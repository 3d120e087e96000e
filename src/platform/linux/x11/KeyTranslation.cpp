#include "platform/linux/x11/KeyTranslation.h"

#include <X11/X.h>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <array>
#include <utility>

#include "base/Records.h"

namespace tavlo::x11 {
namespace {

struct KeyEntry {
    std::uint32_t keyCode;
    Keysym keysym;
    Keysym alternative = NoSymbol;  // the keysym of the same key in another state
};

// Key codes of the Mac keyboard (ANSI layout) and the keysyms of the same keys.
constexpr KeyEntry keyTable[] = {
    {0, XK_a}, {1, XK_s}, {2, XK_d}, {3, XK_f}, {4, XK_h}, {5, XK_g}, {6, XK_z}, {7, XK_x},
    {8, XK_c}, {9, XK_v}, {11, XK_b}, {12, XK_q}, {13, XK_w}, {14, XK_e}, {15, XK_r},
    {16, XK_y}, {17, XK_t}, {31, XK_o}, {32, XK_u}, {34, XK_i}, {35, XK_p}, {37, XK_l},
    {38, XK_j}, {40, XK_k}, {45, XK_n}, {46, XK_m},
    {18, XK_1}, {19, XK_2}, {20, XK_3}, {21, XK_4}, {22, XK_6}, {23, XK_5}, {25, XK_9},
    {26, XK_7}, {28, XK_8}, {29, XK_0},
    {24, XK_equal}, {27, XK_minus}, {30, XK_bracketright}, {33, XK_bracketleft},
    {39, XK_apostrophe}, {41, XK_semicolon}, {42, XK_backslash}, {43, XK_comma},
    {44, XK_slash}, {47, XK_period}, {50, XK_grave}, {10, XK_section},
    {36, XK_Return}, {48, XK_Tab}, {49, XK_space}, {51, XK_BackSpace}, {53, XK_Escape},
    {117, XK_Delete}, {114, XK_Help, XK_Insert}, {115, XK_Home}, {119, XK_End},
    {116, XK_Prior}, {121, XK_Next},
    {123, XK_Left}, {124, XK_Right}, {125, XK_Down}, {126, XK_Up},
    {122, XK_F1}, {120, XK_F2}, {99, XK_F3}, {118, XK_F4}, {96, XK_F5}, {97, XK_F6},
    {98, XK_F7}, {100, XK_F8}, {101, XK_F9}, {109, XK_F10}, {103, XK_F11}, {111, XK_F12},
    {105, XK_F13}, {107, XK_F14}, {113, XK_F15}, {106, XK_F16}, {64, XK_F17}, {79, XK_F18},
    {80, XK_F19}, {90, XK_F20},
    {82, XK_KP_0, XK_KP_Insert}, {83, XK_KP_1, XK_KP_End}, {84, XK_KP_2, XK_KP_Down},
    {85, XK_KP_3, XK_KP_Next}, {86, XK_KP_4, XK_KP_Left}, {87, XK_KP_5, XK_KP_Begin},
    {88, XK_KP_6, XK_KP_Right}, {89, XK_KP_7, XK_KP_Home}, {91, XK_KP_8, XK_KP_Up},
    {92, XK_KP_9, XK_KP_Prior}, {65, XK_KP_Decimal, XK_KP_Delete}, {67, XK_KP_Multiply},
    {69, XK_KP_Add}, {71, XK_Clear, XK_Num_Lock}, {75, XK_KP_Divide}, {76, XK_KP_Enter},
    {78, XK_KP_Subtract}, {81, XK_KP_Equal},
    {72, XF86XK_AudioRaiseVolume}, {73, XF86XK_AudioLowerVolume}, {74, XF86XK_AudioMute},
};

// X11 key codes of a standard evdev keyboard (evdev code + 8) for the keys
// whose symbols change with the layout, and for F13 to F20, which the usual
// layouts turn into application keys.
constexpr std::pair<unsigned, std::uint32_t> physicalTable[] = {
    {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 23}, {15, 22}, {16, 26}, {17, 28},
    {18, 25}, {19, 29}, {20, 27}, {21, 24},
    {24, 12}, {25, 13}, {26, 14}, {27, 15}, {28, 17}, {29, 16}, {30, 32}, {31, 34},
    {32, 31}, {33, 35}, {34, 33}, {35, 30},
    {38, 0}, {39, 1}, {40, 2}, {41, 3}, {42, 5}, {43, 4}, {44, 38}, {45, 40}, {46, 37},
    {47, 41}, {48, 39}, {49, 50}, {51, 42},
    {52, 6}, {53, 7}, {54, 8}, {55, 9}, {56, 11}, {57, 45}, {58, 46}, {59, 43}, {60, 47},
    {61, 44},
    // F13 to F20: standard layouts give these keys other symbols (XF86Tools...).
    {191, 105}, {192, 107}, {193, 113}, {194, 106}, {195, 64}, {196, 79}, {197, 80}, {198, 90},
};

Keysym lowerCase(Keysym keysym) {
    if (keysym >= XK_A && keysym <= XK_Z) return keysym + (XK_a - XK_A);
    return keysym;
}

}  // namespace

std::optional<Keysym> keysymForKeyCode(std::uint32_t keyCode) {
    for (const auto& entry : keyTable)
        if (entry.keyCode == keyCode) return entry.keysym;
    return std::nullopt;
}

std::optional<std::uint32_t> keyCodeForKeysym(Keysym keysym) {
    if (keysym == NoSymbol) return std::nullopt;
    keysym = lowerCase(keysym);
    for (const auto& entry : keyTable)
        if (entry.keysym == keysym || entry.alternative == keysym) return entry.keyCode;
    return std::nullopt;
}

std::optional<std::uint32_t> keyCodeForPhysicalKey(unsigned x11KeyCode) {
    for (const auto& [physical, keyCode] : physicalTable)
        if (physical == x11KeyCode) return keyCode;
    return std::nullopt;
}

std::optional<unsigned> physicalKeyForKeyCode(std::uint32_t keyCode) {
    for (const auto& [physical, code] : physicalTable)
        if (code == keyCode) return physical;
    return std::nullopt;
}

std::vector<std::uint32_t> translatableKeyCodes() {
    std::vector<std::uint32_t> codes;
    for (const auto& entry : keyTable) codes.push_back(entry.keyCode);
    return codes;
}

std::uint32_t carbonModifiersFromState(unsigned state, const ModifierBits& bits) {
    std::uint32_t mask = 0;
    if (state & ControlMask) mask |= CarbonModifier::control;
    if (state & ShiftMask) mask |= CarbonModifier::shift;
    if (bits.alt && (state & bits.alt)) mask |= CarbonModifier::option;
    if (bits.super && (state & bits.super)) mask |= CarbonModifier::command;
    return mask;
}

unsigned stateFromCarbonModifiers(std::uint32_t modifiers, const ModifierBits& bits) {
    unsigned state = 0;
    if (modifiers & CarbonModifier::control) state |= ControlMask;
    if (modifiers & CarbonModifier::shift) state |= ShiftMask;
    if (modifiers & CarbonModifier::option) state |= bits.alt;
    if (modifiers & CarbonModifier::command) state |= bits.super;
    return state;
}

}  // namespace tavlo::x11
