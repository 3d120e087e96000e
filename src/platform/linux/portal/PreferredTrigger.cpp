#include "platform/linux/portal/PreferredTrigger.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <utility>

#include "platform/linux/x11/KeyTranslation.h"

namespace tavlo::portal {
namespace {

// The stored modifier masks and the names the XDG shortcut format gives them.
constexpr std::array<std::pair<std::uint32_t, const char*>, 4> modifierNames = {{
    {0x1000, "CTRL"},   // control
    {0x0800, "ALT"},    // option
    {0x0200, "SHIFT"},  // shift
    {0x0100, "LOGO"},   // command, the Super key here
}};

}  // namespace

std::optional<std::string> preferredTrigger(std::uint32_t keyCode, std::uint32_t modifiers) {
    const auto keysym = x11::keysymForKeyCode(keyCode);
    if (!keysym) return std::nullopt;
    std::array<char, 64> name{};
    if (xkb_keysym_get_name(static_cast<xkb_keysym_t>(*keysym), name.data(), name.size()) <= 0) return std::nullopt;
    std::string trigger;
    for (const auto& [mask, word] : modifierNames)
        if (modifiers & mask) trigger += std::string(word) + "+";
    return trigger + name.data();
}

}  // namespace tavlo::portal
