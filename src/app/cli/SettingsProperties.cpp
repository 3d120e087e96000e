#include "app/cli/SettingsProperties.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

#include "app/cli/Utf8.h"
#include "base/BoundedJson.h"
#include "engine/whisper/WhisperModelCatalogue.h"

namespace tavlo::cli {
namespace {

using Json = nlohmann::ordered_json;

// The records' JSON forms, in the ordered kind of JSON this output uses.
template <class T> Json recordJson(const T& value) { return Json(nlohmann::json(value)); }

template <class T> Json optionalJson(const std::optional<T>& value) {
    if (!value) return nullptr;
    return Json(*value);
}

template <class E> std::string rawValueList() {
    std::string list;
    for (const E value : allCases<E>()) {
        if (!list.empty()) list += ", ";
        list += rawValue(value);
    }
    return list;
}

template <class E>
std::optional<SettingChange> readEnum(std::string_view name, std::string_view value, std::string& error,
                                      void (SettingsStore::*setter)(E)) {
    const auto parsed = fromRawValue<E>(value);
    if (!parsed) {
        error = std::string(name) + " takes one of: " + rawValueList<E>();
        return std::nullopt;
    }
    return SettingChange{std::string(name), [setter, v = *parsed](SettingsStore& store) { (store.*setter)(v); }};
}

std::optional<SettingChange> readFlag(std::string_view name, std::string_view value, std::string& error,
                                      void (SettingsStore::*setter)(bool)) {
    if (value != "true" && value != "false") {
        error = std::string(name) + " takes true or false";
        return std::nullopt;
    }
    return SettingChange{std::string(name),
                         [setter, flag = value == "true"](SettingsStore& store) { (store.*setter)(flag); }};
}

template <class T, class Setter>
std::optional<SettingChange> readJsonValue(std::string_view name, std::string_view value, std::string& error,
                                           std::string_view shape, Setter setter) {
    try {
        const auto document = parseBoundedJson(value);
        if (!document) throw nlohmann::json::other_error::create(501, "not JSON within bounds", nullptr);
        T parsed = document->get<T>();
        return SettingChange{std::string(name),
                             [setter, parsed = std::move(parsed)](SettingsStore& store) { setter(store, parsed); }};
    } catch (const nlohmann::json::exception&) {
        error = std::string(name) + " takes " + std::string(shape);
        return std::nullopt;
    }
}

std::optional<SettingChange> readOptionalText(std::string_view name, std::string_view value,
                                              void (SettingsStore::*setter)(const std::optional<std::string>&)) {
    std::optional<std::string> text;
    if (!value.empty()) text = std::string(value);
    return SettingChange{std::string(name), [setter, text](SettingsStore& store) { (store.*setter)(text); }};
}

std::optional<SettingChange> readDate(std::string_view name, std::string_view value, std::string& error) {
    if (value.empty())
        return SettingChange{std::string(name),
                             [](SettingsStore& store) { store.setLastAutomaticUpdateCheckAt(std::nullopt); }};
    double seconds = 0;
    const auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (problem != std::errc{} || end != value.data() + value.size() || !std::isfinite(seconds)) {
        error = std::string(name) + " takes a number of seconds since 2001-01-01 00:00:00 UTC, or \"\" to remove it";
        return std::nullopt;
    }
    return SettingChange{std::string(name), [date = dateFromReferenceSeconds(seconds)](SettingsStore& store) {
                             store.setLastAutomaticUpdateCheckAt(date);
                         }};
}

std::optional<SettingChange> readFrame(std::string_view name, std::string_view value, std::string& error) {
    std::optional<Rect> frame;
    if (!value.empty()) {
        frame = rectFromText(value);
        if (!frame) {
            error = std::string(name) +
                    " takes \"{{x, y}, {width, height}}\" (not all zero), or \"\" to remove it";
            return std::nullopt;
        }
    }
    return SettingChange{std::string(name), [frame](SettingsStore& store) { store.setBubbleFrame(frame); }};
}

}  // namespace

const std::vector<std::string_view>& settingNames() {
    static const std::vector<std::string_view> names{
        "dictionaryWords", "snippets", "recent", "transformStyle", "bubbleFrame", "bubbleVisible",
        "autoPaste", "shortcuts", "holdTrigger", "pressTrigger", "speechModel",
        "speechLanguageIdentifier", "openAICloudMode", "hasOpenAIAPIKey", "hasServiceAccessToken",
        "microphoneUniqueID", "cleanupEnabled", "storageMode", "updateCheckFrequency",
        "lastAutomaticUpdateCheckAt", "lastPromptedUpdateIdentifier", "whisperModel", "whisperModelBaseURL",
    };
    return names;
}

nlohmann::ordered_json settingsAsJson(const SettingsStore& store) {
    Json settings = Json::object();
    settings["dictionaryWords"] = store.dictionaryWords();
    settings["snippets"] = recordJson(store.snippets());
    settings["recent"] = recordJson(store.recent());
    settings["transformStyle"] = recordJson(store.transformStyle());
    const auto frame = store.bubbleFrame();
    settings["bubbleFrame"] = frame ? Json(rectText(*frame)) : Json(nullptr);
    settings["bubbleVisible"] = store.bubbleVisible();
    settings["autoPaste"] = store.autoPaste();
    settings["shortcuts"] = recordJson(store.shortcuts());
    settings["holdTrigger"] = recordJson(store.holdTrigger());
    settings["pressTrigger"] = recordJson(store.pressTrigger());
    settings["speechModel"] = recordJson(store.speechModel());
    settings["speechLanguageIdentifier"] = store.speechLanguageIdentifier();
    settings["openAICloudMode"] = recordJson(store.openAICloudMode());
    settings["hasOpenAIAPIKey"] = store.hasOpenAIAPIKey();
    settings["hasServiceAccessToken"] = store.hasServiceAccessToken();
    settings["microphoneUniqueID"] = optionalJson(store.microphoneUniqueID());
    settings["cleanupEnabled"] = store.cleanupEnabled();
    settings["storageMode"] = recordJson(store.storageMode());
    settings["updateCheckFrequency"] = recordJson(store.updateCheckFrequency());
    const auto checkedAt = store.lastAutomaticUpdateCheckAt();
    settings["lastAutomaticUpdateCheckAt"] =
        checkedAt ? Json(secondsSinceReferenceDate(*checkedAt)) : Json(nullptr);
    settings["lastPromptedUpdateIdentifier"] = optionalJson(store.lastPromptedUpdateIdentifier());
    settings["whisperModel"] = optionalJson(store.whisperModel());
    settings["whisperModelBaseURL"] = store.whisperModelBaseURL();
    return settings;
}

std::optional<SettingChange> readSettingChange(std::string_view name, std::string_view value,
                                               std::string& error) {
    using S = SettingsStore;
    if (!isValidUtf8(value)) {
        error = "the value is not valid UTF-8";
        return std::nullopt;
    }
    if (name == "dictionaryWords")
        return readJsonValue<std::vector<std::string>>(name, value, error, "a JSON array of strings",
                                                       [](S& s, const auto& v) { s.setDictionaryWords(v); });
    if (name == "snippets")
        return readJsonValue<std::vector<VoiceSnippet>>(
            name, value, error, "a JSON array of {\"phrase\", \"expansion\"} objects",
            [](S& s, const auto& v) { s.setSnippets(v); });
    if (name == "recent")
        return readJsonValue<std::vector<RecentDictation>>(
            name, value, error, "a JSON array of {\"date\", \"appName\", \"text\"} objects",
            [](S& s, const auto& v) { s.setRecent(v); });
    if (name == "transformStyle") return readEnum(name, value, error, &S::setTransformStyle);
    if (name == "bubbleFrame") return readFrame(name, value, error);
    if (name == "bubbleVisible") return readFlag(name, value, error, &S::setBubbleVisible);
    if (name == "autoPaste") return readFlag(name, value, error, &S::setAutoPaste);
    if (name == "shortcuts")
        return readJsonValue<ShortcutSettings>(
            name, value, error,
            "a JSON object with the keys toggle, professional, casual, list and clean, each "
            "{\"keyCode\", \"modifiers\", \"display\"}",
            [](S& s, const auto& v) { s.setShortcuts(v); });
    if (name == "holdTrigger" || name == "pressTrigger") {
        const bool hold = name == "holdTrigger";
        return readJsonValue<TriggerShortcut>(
            name, value, error, "a JSON object {\"keyCode\" (optional), \"modifiers\", \"display\", \"isFunctionKey\"}",
            [hold](S& s, const auto& v) { hold ? s.setHoldTrigger(v) : s.setPressTrigger(v); });
    }
    if (name == "speechModel") return readEnum(name, value, error, &S::setSpeechModel);
    if (name == "speechLanguageIdentifier") {
        if (value.empty()) {
            error = std::string(name) + " takes a locale identifier such as en_US";
            return std::nullopt;
        }
        return SettingChange{std::string(name), [text = std::string(value)](S& s) {
                                 s.setSpeechLanguageIdentifier(text);
                             }};
    }
    if (name == "openAICloudMode") return readEnum(name, value, error, &S::setOpenAICloudMode);
    if (name == "hasOpenAIAPIKey" || name == "hasServiceAccessToken") {
        error = std::string(name) + " cannot be set; use `tavlo secret set " +
                (name == "hasOpenAIAPIKey" ? "openai-key" : "service-token") + "`";
        return std::nullopt;
    }
    if (name == "microphoneUniqueID") return readOptionalText(name, value, &S::setMicrophoneUniqueID);
    if (name == "cleanupEnabled") return readFlag(name, value, error, &S::setCleanupEnabled);
    if (name == "storageMode") return readEnum(name, value, error, &S::setStorageMode);
    if (name == "updateCheckFrequency") return readEnum(name, value, error, &S::setUpdateCheckFrequency);
    if (name == "lastAutomaticUpdateCheckAt") return readDate(name, value, error);
    if (name == "lastPromptedUpdateIdentifier")
        return readOptionalText(name, value, &S::setLastPromptedUpdateIdentifier);
    if (name == "whisperModel") {
        if (!value.empty() && !isWhisperModelName(value)) {
            error = std::string(name) +
                    " takes a model's name as `tavlo models` lists it (such as small.en), or \"\" for the usual order";
            return std::nullopt;
        }
        return readOptionalText(name, value, &S::setWhisperModel);
    }
    if (name == "whisperModelBaseURL") {
        const bool web = value.starts_with("http://") || value.starts_with("https://");
        const bool plain = std::ranges::none_of(value, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
        if (!value.empty() && (!web || !plain || value.size() > 2048)) {
            error = std::string(name) + " takes an http or https address, or \"\" for the default";
            return std::nullopt;
        }
        return readOptionalText(name, value, &S::setWhisperModelBaseURL);
    }

    error = "unknown setting \"" + std::string(name) + "\"; the settings are:";
    for (const auto known : settingNames()) error += " " + std::string(known);
    return std::nullopt;
}

}  // namespace tavlo::cli
