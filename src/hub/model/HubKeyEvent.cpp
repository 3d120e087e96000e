#include "hub/model/HubKeyEvent.h"

#include "base/Records.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo {

std::uint64_t eventModifierFlags(std::uint32_t carbonMask, bool functionKeyDown) {
    std::uint64_t flags = 0;
    if (carbonMask & CarbonModifier::control) flags |= EventModifierFlag::control;
    if (carbonMask & CarbonModifier::option) flags |= EventModifierFlag::option;
    if (carbonMask & CarbonModifier::shift) flags |= EventModifierFlag::shift;
    if (carbonMask & CarbonModifier::command) flags |= EventModifierFlag::command;
    if (functionKeyDown) flags |= functionKeyFlag;
    return flags;
}

}  // namespace tavlo
