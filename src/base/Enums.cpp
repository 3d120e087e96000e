#include "base/Enums.h"

namespace tavlo {

std::optional<std::int64_t> interval(UpdateCheckFrequency frequency) {
    constexpr std::int64_t day = 86400;
    switch (frequency) {
    case UpdateCheckFrequency::daily: return day;
    case UpdateCheckFrequency::weekly: return 7 * day;
    case UpdateCheckFrequency::monthly: return 30 * day;
    case UpdateCheckFrequency::never: return std::nullopt;
    }
    return std::nullopt;
}

std::string_view title(ShortcutAction action) {
    switch (action) {
    case ShortcutAction::toggle: return "Hands-free toggle";
    case ShortcutAction::professional: return "Professional rewrite";
    case ShortcutAction::casual: return "Casual rewrite";
    case ShortcutAction::list: return "List rewrite";
    case ShortcutAction::clean: return "Clean rewrite";
    }
    return {};
}

}  // namespace tavlo
