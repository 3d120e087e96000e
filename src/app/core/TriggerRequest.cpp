#include "app/core/TriggerRequest.h"

#include <array>
#include <utility>

namespace tavlo {
namespace {

constexpr std::string_view requestPrefix = "trigger ";

constexpr std::array<std::pair<TriggerAction, std::string_view>, 8> words = {{
    {TriggerAction::start, "start"},
    {TriggerAction::stop, "stop"},
    {TriggerAction::toggle, "toggle"},
    {TriggerAction::cancel, "cancel"},
    {TriggerAction::professional, "professional"},
    {TriggerAction::casual, "casual"},
    {TriggerAction::list, "list"},
    {TriggerAction::clean, "clean"},
}};

}  // namespace

std::string_view commandWord(TriggerAction action) {
    for (const auto& [known, word] : words)
        if (known == action) return word;
    return {};
}

std::optional<TriggerAction> triggerActionNamed(std::string_view word) {
    for (const auto& [action, known] : words)
        if (known == word) return action;
    return std::nullopt;
}

std::string triggerCommandWords() {
    std::string text;
    for (const auto& [action, word] : words) {
        if (!text.empty()) text += '|';
        text += word;
    }
    return text;
}

std::optional<TransformStyle> rewriteStyle(TriggerAction action) {
    switch (action) {
        case TriggerAction::professional: return TransformStyle::professional;
        case TriggerAction::casual: return TransformStyle::casual;
        case TriggerAction::list: return TransformStyle::list;
        case TriggerAction::clean: return TransformStyle::clean;
        default: return std::nullopt;
    }
}

std::string triggerRequestLine(TriggerAction action) {
    return std::string(requestPrefix) + std::string(commandWord(action)) + "\n";
}

std::optional<TriggerAction> parseTriggerRequest(std::string_view request) {
    if (!request.starts_with(requestPrefix)) return std::nullopt;
    request.remove_prefix(requestPrefix.size());
    // One line: the word and its line feed, nothing after.
    if (!request.ends_with('\n')) return std::nullopt;
    request.remove_suffix(1);
    return triggerActionNamed(request);
}

}  // namespace tavlo
