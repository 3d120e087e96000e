#pragma once
// The user's choices that are stored and passed around. Each enumeration has a
// string raw value that is both its stored form and, where the user picks it,
// the title shown in menus. Construction from a string is exact and
// case-sensitive; anything else gives no value and the caller uses its default.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tavlo {

enum class TransformStyle { verbatim, clean, professional, casual, list };
enum class SpeechModel { appleOnDevice, localWhisper, openAICloud };
enum class OpenAICloudMode { service, apiKey };
enum class StorageMode { local, cloud };
enum class UpdateCheckFrequency { daily, weekly, monthly, never };
enum class ShortcutAction { toggle, professional, casual, list, clean };

// Case table per enumeration, in declaration order (which is also allCases order).
template <class E> struct EnumCases;

template <> struct EnumCases<TransformStyle> {
    static constexpr std::array<std::pair<TransformStyle, std::string_view>, 5> table{{
        {TransformStyle::verbatim, "Verbatim"},
        {TransformStyle::clean, "Clean"},
        {TransformStyle::professional, "Professional"},
        {TransformStyle::casual, "Casual"},
        {TransformStyle::list, "List"},
    }};
};
template <> struct EnumCases<SpeechModel> {
    static constexpr std::array<std::pair<SpeechModel, std::string_view>, 3> table{{
        {SpeechModel::appleOnDevice, "Apple on-device"},
        {SpeechModel::localWhisper, "Local Whisper"},
        {SpeechModel::openAICloud, "OpenAI cloud"},
    }};
};
template <> struct EnumCases<OpenAICloudMode> {
    static constexpr std::array<std::pair<OpenAICloudMode, std::string_view>, 2> table{{
        {OpenAICloudMode::service, "Tavlo service"},
        {OpenAICloudMode::apiKey, "Own OpenAI key"},
    }};
};
template <> struct EnumCases<StorageMode> {
    static constexpr std::array<std::pair<StorageMode, std::string_view>, 2> table{{
        {StorageMode::local, "Local"},
        {StorageMode::cloud, "Cloud"},
    }};
};
template <> struct EnumCases<UpdateCheckFrequency> {
    static constexpr std::array<std::pair<UpdateCheckFrequency, std::string_view>, 4> table{{
        {UpdateCheckFrequency::daily, "Daily"},
        {UpdateCheckFrequency::weekly, "Weekly"},
        {UpdateCheckFrequency::monthly, "Monthly"},
        {UpdateCheckFrequency::never, "Never"},
    }};
};
template <> struct EnumCases<ShortcutAction> {
    static constexpr std::array<std::pair<ShortcutAction, std::string_view>, 5> table{{
        {ShortcutAction::toggle, "toggle"},
        {ShortcutAction::professional, "professional"},
        {ShortcutAction::casual, "casual"},
        {ShortcutAction::list, "list"},
        {ShortcutAction::clean, "clean"},
    }};
};

template <class E> constexpr std::string_view rawValue(E value) {
    for (const auto& [candidate, raw] : EnumCases<E>::table)
        if (candidate == value) return raw;
    return {};
}

template <class E> constexpr std::optional<E> fromRawValue(std::string_view raw) {
    for (const auto& [candidate, text] : EnumCases<E>::table)
        if (text == raw) return candidate;
    return std::nullopt;
}

template <class E> constexpr auto allCases() {
    std::array<E, EnumCases<E>::table.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = EnumCases<E>::table[i].first;
    return cases;
}

// Seconds between automatic update checks; absent for `never`.
std::optional<std::int64_t> interval(UpdateCheckFrequency frequency);

// The label shown next to an action's shortcut in the hub.
std::string_view title(ShortcutAction action);

}  // namespace tavlo
