#pragma once
// Plain value records that the settings store persists and the subsystems pass
// around, with their JSON forms. Field order is declaration order and JSON keys
// are the field names.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/Date.h"
#include "base/Enums.h"

namespace tavlo {

struct VoiceSnippet {
    std::string phrase;
    std::string expansion;

    static const std::vector<VoiceSnippet>& defaults();
    bool operator==(const VoiceSnippet&) const = default;
};

struct RecentDictation {
    Date date;
    std::string appName;
    std::string text;

    bool operator==(const RecentDictation&) const = default;
};

// Modifier masks of a hot key, as stored.
namespace CarbonModifier {
inline constexpr std::uint32_t command = 0x0100;
inline constexpr std::uint32_t shift = 0x0200;
inline constexpr std::uint32_t option = 0x0800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace CarbonModifier

struct KeyShortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    std::string display;

    static KeyShortcut make(std::uint32_t keyCode, std::uint32_t modifiers, std::string display) {
        return KeyShortcut{keyCode, modifiers, std::move(display)};
    }
    bool operator==(const KeyShortcut&) const = default;
};

struct TriggerShortcut {
    std::optional<std::uint32_t> keyCode;
    std::uint32_t modifiers = 0;
    std::string display;
    bool isFunctionKey = false;

    static TriggerShortcut function();
    static TriggerShortcut key(const KeyShortcut& shortcut);
    static TriggerShortcut modifierOnly(std::uint32_t modifiers, std::string display);

    // Absent for the function key and when there is no key code.
    std::optional<KeyShortcut> keyShortcut() const;
    bool isModifierOnly() const;

    bool operator==(const TriggerShortcut&) const = default;
};

struct ShortcutSettings {
    KeyShortcut toggle;
    KeyShortcut professional;
    KeyShortcut casual;
    KeyShortcut list;
    KeyShortcut clean;

    static const ShortcutSettings& defaults();
    const KeyShortcut& shortcut(ShortcutAction action) const;
    void set(const KeyShortcut& shortcut, ShortcutAction action);

    bool operator==(const ShortcutSettings&) const = default;
};

struct ProcessedText {
    std::string text;
    bool shouldPressEnter = false;
    bool cancelled = false;

    bool operator==(const ProcessedText&) const = default;
};

// JSON forms. Reading throws nlohmann::json::exception when a required key is
// missing or has the wrong type, so a damaged record is never half-read.
void to_json(nlohmann::json& j, const VoiceSnippet& value);
void from_json(const nlohmann::json& j, VoiceSnippet& value);
void to_json(nlohmann::json& j, const RecentDictation& value);
void from_json(const nlohmann::json& j, RecentDictation& value);
void to_json(nlohmann::json& j, const KeyShortcut& value);
void from_json(const nlohmann::json& j, KeyShortcut& value);
void to_json(nlohmann::json& j, const TriggerShortcut& value);
void from_json(const nlohmann::json& j, TriggerShortcut& value);
void to_json(nlohmann::json& j, const ShortcutSettings& value);
void from_json(const nlohmann::json& j, ShortcutSettings& value);
void to_json(nlohmann::json& j, const ProcessedText& value);

// Enumerations are written as their raw-value strings; an unknown string throws.
template <class E, class = decltype(EnumCases<E>::table)>
void to_json(nlohmann::json& j, E value) {
    j = std::string(rawValue(value));
}
template <class E, class = decltype(EnumCases<E>::table)>
void from_json(const nlohmann::json& j, E& value) {
    auto parsed = fromRawValue<E>(j.get<std::string>());
    if (!parsed) throw nlohmann::json::other_error::create(501, "unknown raw value", &j);
    value = *parsed;
}

}  // namespace tavlo
