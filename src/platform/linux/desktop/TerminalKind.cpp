#include "platform/linux/desktop/TerminalKind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace tavlo::desktop {
namespace {

constexpr std::array<std::string_view, 4> xtermLikeNames{"xterm", "uxterm", "rxvt", "urxvt"};
constexpr std::array<std::string_view, 10> terminalNames{"gnome-terminal", "konsole",  "xfce4-terminal", "alacritty",
                                                         "kitty",          "tilix",    "terminator",     "st",
                                                         "foot",           "wezterm"};

// "org.kde.konsole", "debian-xterm" and "Alacritty" all name their program
// last: compare the whole name and what follows its last dot or dash.
template <std::size_t N>
bool namesOneOf(const std::string& name, const std::array<std::string_view, N>& known) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::string_view program : known) {
        if (folded == program) return true;
        if (folded.size() > program.size() && folded.ends_with(program)) {
            const char before = folded[folded.size() - program.size() - 1];
            if (before == '.' || before == '-') return true;
        }
    }
    return false;
}

}  // namespace

TerminalKind terminalKindOf(const std::vector<std::string>& names, const std::vector<std::string>& categories) {
    auto any = [&](const auto& known) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& name) { return namesOneOf(name, known); });
    };
    if (any(xtermLikeNames)) return TerminalKind::xtermLike;
    if (any(terminalNames) || std::find(categories.begin(), categories.end(), "TerminalEmulator") != categories.end())
        return TerminalKind::terminal;
    return TerminalKind::notTerminal;
}

}  // namespace tavlo::desktop
