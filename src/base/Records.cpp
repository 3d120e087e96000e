#include "base/Records.h"

#include <limits>

namespace tavlo {
namespace {

using nlohmann::json;

// Key codes and masks are unsigned 32-bit; a negative, fractional or too large
// number is damage, not a value to wrap around.
std::uint32_t readUInt32(const json& object, const char* key) {
    const json& value = object.at(key);
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= std::numeric_limits<std::uint32_t>::max())
            return static_cast<std::uint32_t>(number);
    } else if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number >= 0 && number <= std::numeric_limits<std::uint32_t>::max())
            return static_cast<std::uint32_t>(number);
    }
    throw json::type_error::create(302, std::string("not an unsigned 32-bit number: ") + key, &value);
}

std::string readString(const json& object, const char* key) {
    return object.at(key).get<std::string>();
}

void requireObject(const json& j) {
    if (!j.is_object()) throw json::type_error::create(302, "expected an object", &j);
}

}  // namespace

const std::vector<VoiceSnippet>& VoiceSnippet::defaults() {
    static const std::vector<VoiceSnippet> snippets{
        // A placeholder the user replaces with their own name in Snippets.
        {"insert signature", "Best,\n[Your name]"},
        {"standup update", "Yesterday:\n- \n\nToday:\n- \n\nBlocked:\n- None"},
        {"shipping note", "Implemented, checked locally, and ready for review."},
    };
    return snippets;
}

TriggerShortcut TriggerShortcut::function() {
    return TriggerShortcut{std::nullopt, 0, "Fn", true};
}

TriggerShortcut TriggerShortcut::key(const KeyShortcut& shortcut) {
    return TriggerShortcut{shortcut.keyCode, shortcut.modifiers, shortcut.display, false};
}

TriggerShortcut TriggerShortcut::modifierOnly(std::uint32_t modifiers, std::string display) {
    return TriggerShortcut{std::nullopt, modifiers, std::move(display), false};
}

std::optional<KeyShortcut> TriggerShortcut::keyShortcut() const {
    if (!keyCode || isFunctionKey) return std::nullopt;
    return KeyShortcut{*keyCode, modifiers, display};
}

bool TriggerShortcut::isModifierOnly() const {
    return !keyCode && modifiers != 0 && !isFunctionKey;
}

const ShortcutSettings& ShortcutSettings::defaults() {
    using namespace CarbonModifier;
    static const ShortcutSettings settings{
        {49, control | option, "Ctrl+Alt+Space"},
        {19, option, "Alt+2"},
        {20, option, "Alt+3"},
        {21, option, "Alt+4"},
        {23, option, "Alt+5"},
    };
    return settings;
}

const KeyShortcut& ShortcutSettings::shortcut(ShortcutAction action) const {
    switch (action) {
    case ShortcutAction::toggle: return toggle;
    case ShortcutAction::professional: return professional;
    case ShortcutAction::casual: return casual;
    case ShortcutAction::list: return list;
    case ShortcutAction::clean: return clean;
    }
    return toggle;
}

void ShortcutSettings::set(const KeyShortcut& shortcut, ShortcutAction action) {
    switch (action) {
    case ShortcutAction::toggle: toggle = shortcut; break;
    case ShortcutAction::professional: professional = shortcut; break;
    case ShortcutAction::casual: casual = shortcut; break;
    case ShortcutAction::list: list = shortcut; break;
    case ShortcutAction::clean: clean = shortcut; break;
    }
}

void to_json(json& j, const VoiceSnippet& value) {
    j = json{{"phrase", value.phrase}, {"expansion", value.expansion}};
}

void from_json(const json& j, VoiceSnippet& value) {
    requireObject(j);
    value = VoiceSnippet{readString(j, "phrase"), readString(j, "expansion")};
}

void to_json(json& j, const RecentDictation& value) {
    j = json{{"date", secondsSinceReferenceDate(value.date)},
             {"appName", value.appName},
             {"text", value.text}};
}

void from_json(const json& j, RecentDictation& value) {
    requireObject(j);
    const json& date = j.at("date");
    if (!date.is_number()) throw json::type_error::create(302, "date is not a number", &date);
    value = RecentDictation{dateFromReferenceSeconds(date.get<double>()), readString(j, "appName"),
                            readString(j, "text")};
}

void to_json(json& j, const KeyShortcut& value) {
    j = json{{"keyCode", value.keyCode}, {"modifiers", value.modifiers}, {"display", value.display}};
}

void from_json(const json& j, KeyShortcut& value) {
    requireObject(j);
    value = KeyShortcut{readUInt32(j, "keyCode"), readUInt32(j, "modifiers"), readString(j, "display")};
}

void to_json(json& j, const TriggerShortcut& value) {
    j = json::object();
    if (value.keyCode) j["keyCode"] = *value.keyCode;
    j["modifiers"] = value.modifiers;
    j["display"] = value.display;
    j["isFunctionKey"] = value.isFunctionKey;
}

void from_json(const json& j, TriggerShortcut& value) {
    requireObject(j);
    TriggerShortcut read;
    if (j.contains("keyCode") && !j.at("keyCode").is_null()) read.keyCode = readUInt32(j, "keyCode");
    read.modifiers = readUInt32(j, "modifiers");
    read.display = readString(j, "display");
    read.isFunctionKey = j.at("isFunctionKey").get<bool>();
    value = std::move(read);
}

void to_json(json& j, const ShortcutSettings& value) {
    j = json::object();
    for (auto action : allCases<ShortcutAction>())
        j[std::string(rawValue(action))] = value.shortcut(action);
}

void from_json(const json& j, ShortcutSettings& value) {
    requireObject(j);
    ShortcutSettings read;
    for (auto action : allCases<ShortcutAction>())
        read.set(j.at(std::string(rawValue(action))).get<KeyShortcut>(), action);
    value = std::move(read);
}

void to_json(json& j, const ProcessedText& value) {
    j = json{{"text", value.text},
             {"shouldPressEnter", value.shouldPressEnter},
             {"cancelled", value.cancelled}};
}

}  // namespace tavlo
