// Stored key codes and modifier masks against X11 keysyms and modifier
// states, in both directions.
#include <gtest/gtest.h>

#include <X11/X.h>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <set>

#include "platform/linux/x11/KeyTranslation.h"
#include "base/Records.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo::x11 {
namespace {

struct KeyCase {
    std::uint32_t keyCode;
    Keysym keysym;
};

// One key of each kind the shortcut capture can record.
const KeyCase keyCases[] = {
    {0, XK_a},          {9, XK_v},          {6, XK_z},          {29, XK_0},         {18, XK_1},
    {25, XK_9},         {27, XK_minus},     {24, XK_equal},     {33, XK_bracketleft}, {42, XK_backslash},
    {41, XK_semicolon}, {39, XK_apostrophe}, {43, XK_comma},    {47, XK_period},    {44, XK_slash},
    {50, XK_grave},     {49, XK_space},     {36, XK_Return},    {53, XK_Escape},    {48, XK_Tab},
    {51, XK_BackSpace}, {117, XK_Delete},   {115, XK_Home},     {119, XK_End},      {116, XK_Prior},
    {121, XK_Next},     {123, XK_Left},     {124, XK_Right},    {125, XK_Down},     {126, XK_Up},
    {122, XK_F1},       {120, XK_F2},       {111, XK_F12},      {105, XK_F13},      {107, XK_F14},
    {90, XK_F20},       {82, XK_KP_0},      {92, XK_KP_9},      {76, XK_KP_Enter},  {69, XK_KP_Add},
    {78, XK_KP_Subtract}, {67, XK_KP_Multiply}, {75, XK_KP_Divide}, {65, XK_KP_Decimal}, {81, XK_KP_Equal},
};

TEST(KeyTranslationTest, KeyCodesAndKeysymsTranslateBothWays) {
    for (const auto& [keyCode, keysym] : keyCases) {
        SCOPED_TRACE(keyName(static_cast<std::uint16_t>(keyCode)));
        EXPECT_EQ(keysymForKeyCode(keyCode), keysym);
        EXPECT_EQ(keyCodeForKeysym(keysym), keyCode);
    }
}

TEST(KeyTranslationTest, EveryKnownKeyCodeRoundTripsAndNoKeysymIsShared) {
    std::set<Keysym> seen;
    for (auto keyCode : translatableKeyCodes()) {
        const auto keysym = keysymForKeyCode(keyCode);
        ASSERT_TRUE(keysym) << keyCode;
        EXPECT_TRUE(seen.insert(*keysym).second) << "keysym used twice: " << *keysym;
        EXPECT_EQ(keyCodeForKeysym(*keysym), keyCode);
    }
}

TEST(KeyTranslationTest, VariantsOfTheSameKeyFindIt) {
    // Shifted letters, keypad keys without NumLock.
    EXPECT_EQ(keyCodeForKeysym(XK_V), 9u);
    EXPECT_EQ(keyCodeForKeysym(XK_KP_Home), 89u);
    EXPECT_EQ(keyCodeForKeysym(XK_KP_Insert), 82u);
    // Keys that have no stored code.
    EXPECT_FALSE(keyCodeForKeysym(XK_Control_L));
    EXPECT_FALSE(keyCodeForKeysym(XK_Cyrillic_ve));
    EXPECT_FALSE(keyCodeForKeysym(NoSymbol));
    EXPECT_FALSE(keysymForKeyCode(63));  // Fn has no keysym of its own
    EXPECT_FALSE(keysymForKeyCode(1000));
}

TEST(KeyTranslationTest, PhysicalPlacesCoverLettersDigitsAndPunctuation) {
    // X key codes of a standard evdev keyboard: V is 55, Q 24, 1 is 10, / is 61.
    const std::pair<unsigned, std::uint32_t> places[] = {{55, 9}, {24, 12}, {10, 18}, {19, 29}, {61, 44}, {49, 50}};
    for (const auto& [physical, keyCode] : places) {
        EXPECT_EQ(keyCodeForPhysicalKey(physical), keyCode) << physical;
        EXPECT_EQ(physicalKeyForKeyCode(keyCode), physical) << keyCode;
    }
    EXPECT_FALSE(keyCodeForPhysicalKey(37));  // Left Ctrl is not layout-dependent
    EXPECT_FALSE(physicalKeyForKeyCode(122)); // nor F1
}

TEST(KeyTranslationTest, ModifierStatesBecomeTheStoredMask) {
    const ModifierBits standard;  // Alt on Mod1, Super on Mod4, NumLock on Mod2
    const ModifierBits moved{Mod3Mask, Mod5Mask, Mod2Mask, 0};
    struct Case {
        unsigned state;
        ModifierBits bits;
        std::uint32_t mask;
    };
    const Case cases[] = {
        {0, standard, 0},
        {ControlMask, standard, CarbonModifier::control},
        {ShiftMask, standard, CarbonModifier::shift},
        {Mod1Mask, standard, CarbonModifier::option},
        {Mod4Mask, standard, CarbonModifier::command},
        {ControlMask | Mod1Mask, standard, 0x1800},
        {ControlMask | ShiftMask | Mod1Mask | Mod4Mask, standard, 0x1b00},
        // Locks and pointer buttons are not modifiers of a shortcut.
        {LockMask | Mod2Mask | Button1Mask, standard, 0},
        {ControlMask | LockMask | Mod2Mask, standard, CarbonModifier::control},
        // Alt and Super where this server puts them.
        {Mod3Mask | Mod5Mask, moved, CarbonModifier::option | CarbonModifier::command},
        {Mod1Mask | Mod4Mask, moved, 0},
    };
    for (const auto& [state, bits, mask] : cases) {
        EXPECT_EQ(carbonModifiersFromState(state, bits), mask) << std::hex << state;
        EXPECT_EQ(carbonModifiersFromState(stateFromCarbonModifiers(mask, bits), bits), mask) << std::hex << mask;
    }
    EXPECT_EQ(stateFromCarbonModifiers(0x1800, standard), unsigned{ControlMask | Mod1Mask});
}

}  // namespace
}  // namespace tavlo::x11
