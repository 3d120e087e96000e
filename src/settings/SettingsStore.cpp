#include "settings/SettingsStore.h"

#include <algorithm>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "settings/ApplicationStyle.h"
#include "base/BoundedJson.h"
#include "settings/LocaleIdentifier.h"
#include "settings/PreferenceKeys.h"
#include "settings/TermLearning.h"
#include "settings/TextTrimming.h"

namespace tavlo {
namespace {

// The press trigger that earlier versions wrote by default; it collides with the
// toggle shortcut, so it is replaced by the function key at start.
bool isEarlierDefaultPressTrigger(const TriggerShortcut& trigger) {
    return trigger == TriggerShortcut{49, CarbonModifier::control | CarbonModifier::option,
                                      "Ctrl+Opt+Space", false};
}

std::vector<std::string> cleanedDictionary(const std::vector<std::string>& words) {
    std::vector<std::string> cleaned;
    std::unordered_set<std::string> seen;
    for (const auto& word : words) {
        std::string trimmed = trimmedWhitespaceAndNewlines(word);
        if (trimmed.empty() || !seen.insert(trimmed).second) continue;
        cleaned.push_back(std::move(trimmed));
    }
    return cleaned;
}

}  // namespace

const SecretIdentity& SettingsStore::openAIAPIKeyIdentity() {
    static const SecretIdentity identity{"com.tavlo.app", "openai-api-key"};
    return identity;
}

const SecretIdentity& SettingsStore::serviceAccessTokenIdentity() {
    static const SecretIdentity identity{"com.tavlo.app", "service-access-token"};
    return identity;
}

SettingsStore::SettingsStore(PreferenceStore& preferences, SecretStore& secrets,
                             const HostEnvironment& host, const WallClock& clock)
    : preferences_(preferences), secrets_(secrets), host_(host), clock_(clock) {
    initialise();
}

void SettingsStore::initialise() {
    // One step, so what is missing is decided on the file as it is when the
    // first-run values are written.
    preferences_.transaction("the first-run settings", [this] { writeFirstRunValues(); });
}

void SettingsStore::writeFirstRunValues() {
    namespace Key = PreferenceKey;
    auto missing = [&](std::string_view key) { return !preferences_.object(key).has_value(); };

    if (missing(Key::snippets)) writeJson(Key::snippets, VoiceSnippet::defaults());
    if (missing(Key::transformStyle)) writeEnum(Key::transformStyle, TransformStyle::clean);
    if (missing(Key::bubbleVisible)) preferences_.set(Key::bubbleVisible, true);
    if (missing(Key::autoPaste)) preferences_.set(Key::autoPaste, true);
    if (missing(Key::shortcuts)) writeJson(Key::shortcuts, ShortcutSettings::defaults());
    if (missing(Key::holdTrigger)) writeJson(Key::holdTrigger, TriggerShortcut::function());
    if (missing(Key::pressTrigger)) {
        writeJson(Key::pressTrigger, TriggerShortcut::function());
    } else if (const auto stored = readJson<TriggerShortcut>(Key::pressTrigger);
               stored && isEarlierDefaultPressTrigger(*stored)) {
        writeJson(Key::pressTrigger, TriggerShortcut::function());
    }
    if (missing(Key::speechModel)) writeEnum(Key::speechModel, engineRule(currentLocale()));
    if (missing(Key::speechLanguage)) preferences_.set(Key::speechLanguage, currentLocale());
    if (missing(Key::openAICloudMode)) writeEnum(Key::openAICloudMode, OpenAICloudMode::service);
    if (missing(Key::cleanupEnabled)) preferences_.set(Key::cleanupEnabled, true);
    if (missing(Key::storageMode)) writeEnum(Key::storageMode, StorageMode::local);
    if (missing(Key::updateCheckFrequency))
        writeEnum(Key::updateCheckFrequency, UpdateCheckFrequency::weekly);
}

// ---- stored forms

template <class T> std::optional<T> SettingsStore::readJson(std::string_view key) const {
    const auto data = preferences_.data(key);
    if (!data) return std::nullopt;
    try {
        const auto parsed = parseBoundedJson(data->bytes);
        if (!parsed) return std::nullopt;
        return parsed->get<T>();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

template <class T> std::vector<T> SettingsStore::readJsonList(std::string_view key, bool& whole) const {
    whole = true;
    std::vector<T> entries;
    const auto stored = preferences_.object(key);
    if (!stored) return entries;
    const BinaryData* data = std::get_if<BinaryData>(&*stored);
    const auto parsed = data ? parseBoundedJson(data->bytes) : std::nullopt;
    if (!parsed || !parsed->is_array()) {
        whole = false;
        return entries;
    }
    for (const auto& element : *parsed) {
        try {
            entries.push_back(element.get<T>());
        } catch (const nlohmann::json::exception&) {
            whole = false;
        }
    }
    return entries;
}

std::vector<std::string> SettingsStore::readDictionary(bool& whole) const {
    whole = true;
    const auto stored = preferences_.object(PreferenceKey::dictionaryWords);
    if (!stored) return {};
    if (const auto* words = std::get_if<std::vector<std::string>>(&*stored)) return *words;
    // A list edited by hand with something other than text in it.
    std::vector<std::string> words;
    const BinaryData* data = std::get_if<BinaryData>(&*stored);
    const auto parsed = data ? parseBoundedJson(data->bytes) : std::nullopt;
    if (!parsed || !parsed->is_array()) {
        whole = false;
        return words;
    }
    for (const auto& element : *parsed) {
        if (element.is_string())
            words.push_back(element.get<std::string>());
        else
            whole = false;
    }
    return words;
}

namespace {
template <class T> struct IsList : std::false_type {};
template <class T> struct IsList<std::vector<T>> : std::true_type {};
}  // namespace

template <class T> bool SettingsStore::readsWhole(std::string_view key) const {
    if (!preferences_.object(key)) return true;
    if constexpr (IsList<T>::value) {
        bool whole = true;
        readJsonList<typename T::value_type>(key, whole);
        return whole;
    } else {
        return readJson<T>(key).has_value();
    }
}

bool SettingsStore::mayReplace(std::string_view key, bool storedReadsWhole) {
    return storedReadsWhole || preferences_.keepAside(key);
}

template <class T> void SettingsStore::writeJson(std::string_view key, const T& value) {
    if (!mayReplace(key, readsWhole<T>(key))) return;
    std::string encoded;
    try {
        encoded = nlohmann::json(value).dump();
    } catch (const nlohmann::json::exception&) {
        return;  // text that is not UTF-8 cannot be encoded; the old value stays
    }
    preferences_.set(key, BinaryData{std::move(encoded)});
}

template <class E> E SettingsStore::readEnum(std::string_view key, E fallback) const {
    const auto raw = preferences_.string(key);
    if (!raw) return fallback;
    return fromRawValue<E>(*raw).value_or(fallback);
}

template <class E> void SettingsStore::writeEnum(std::string_view key, E value) {
    preferences_.set(key, std::string(rawValue(value)));
}

void SettingsStore::writeOptionalText(std::string_view key, const std::optional<std::string>& text) {
    if (!text || text->empty())
        preferences_.remove(key);
    else
        preferences_.set(key, *text);
}

std::string SettingsStore::currentLocale() const { return currentLocaleIdentifier(host_); }

// ---- properties

std::vector<std::string> SettingsStore::dictionaryWords() const {
    bool whole = true;
    return readDictionary(whole);
}

void SettingsStore::setDictionaryWords(const std::vector<std::string>& words) {
    bool whole = true;
    readDictionary(whole);
    if (!mayReplace(PreferenceKey::dictionaryWords, whole)) return;
    preferences_.set(PreferenceKey::dictionaryWords, cleanedDictionary(words));
}

std::vector<VoiceSnippet> SettingsStore::snippets() const {
    bool whole = true;
    return readJsonList<VoiceSnippet>(PreferenceKey::snippets, whole);
}

void SettingsStore::setSnippets(const std::vector<VoiceSnippet>& snippets) {
    writeJson(PreferenceKey::snippets, snippets);
}

std::vector<RecentDictation> SettingsStore::recent() const {
    bool whole = true;
    return readJsonList<RecentDictation>(PreferenceKey::recent, whole);
}

void SettingsStore::setRecent(const std::vector<RecentDictation>& entries) {
    const auto kept = std::min(entries.size(), recentLimit);
    writeJson(PreferenceKey::recent,
              std::vector<RecentDictation>(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(kept)));
}

TransformStyle SettingsStore::transformStyle() const {
    return readEnum(PreferenceKey::transformStyle, TransformStyle::clean);
}

void SettingsStore::setTransformStyle(TransformStyle style) { writeEnum(PreferenceKey::transformStyle, style); }

std::optional<Rect> SettingsStore::bubbleFrame() const {
    const auto text = preferences_.string(PreferenceKey::bubbleFrame);
    if (!text) return std::nullopt;
    return rectFromText(*text);
}

void SettingsStore::setBubbleFrame(const std::optional<Rect>& frame) {
    if (!frame)
        preferences_.remove(PreferenceKey::bubbleFrame);
    else
        preferences_.set(PreferenceKey::bubbleFrame, rectText(*frame));
}

bool SettingsStore::bubbleVisible() const { return preferences_.boolean(PreferenceKey::bubbleVisible); }
void SettingsStore::setBubbleVisible(bool visible) { preferences_.set(PreferenceKey::bubbleVisible, visible); }

bool SettingsStore::autoPaste() const { return preferences_.boolean(PreferenceKey::autoPaste); }
void SettingsStore::setAutoPaste(bool enabled) { preferences_.set(PreferenceKey::autoPaste, enabled); }

ShortcutSettings SettingsStore::shortcuts() const {
    return readJson<ShortcutSettings>(PreferenceKey::shortcuts).value_or(ShortcutSettings::defaults());
}

void SettingsStore::setShortcuts(const ShortcutSettings& shortcuts) {
    writeJson(PreferenceKey::shortcuts, shortcuts);
}

TriggerShortcut SettingsStore::holdTrigger() const {
    return readJson<TriggerShortcut>(PreferenceKey::holdTrigger).value_or(TriggerShortcut::function());
}

void SettingsStore::setHoldTrigger(const TriggerShortcut& trigger) {
    writeJson(PreferenceKey::holdTrigger, trigger);
}

TriggerShortcut SettingsStore::pressTrigger() const {
    return readJson<TriggerShortcut>(PreferenceKey::pressTrigger).value_or(TriggerShortcut::function());
}

void SettingsStore::setPressTrigger(const TriggerShortcut& trigger) {
    writeJson(PreferenceKey::pressTrigger, trigger);
}

SpeechModel SettingsStore::speechModel() const {
    const auto raw = preferences_.string(PreferenceKey::speechModel);
    if (!raw) return engineRule(speechLanguageIdentifier());
    if (*raw == rawValue(SpeechModel::localWhisper)) return SpeechModel::localWhisper;
    if (*raw == rawValue(SpeechModel::openAICloud)) return SpeechModel::openAICloud;
    return SpeechModel::appleOnDevice;
}

void SettingsStore::setSpeechModel(SpeechModel model) { writeEnum(PreferenceKey::speechModel, model); }

SpeechModel SettingsStore::engineRule(std::string_view languageIdentifier) const {
    return localWhisperIsAvailable(languageIdentifier) ? SpeechModel::localWhisper
                                                       : SpeechModel::appleOnDevice;
}

bool SettingsStore::localWhisperIsAvailable(std::string_view languageIdentifier) const {
    return tavlo::localWhisperIsAvailable(
        languageIdentifier, WhisperInstallLocations::standard(host_.homeDirectory()), host_);
}

std::string SettingsStore::speechLanguageIdentifier() const {
    return preferences_.string(PreferenceKey::speechLanguage).value_or(currentLocale());
}

void SettingsStore::setSpeechLanguageIdentifier(const std::string& identifier) {
    preferences_.set(PreferenceKey::speechLanguage, identifier);
}

OpenAICloudMode SettingsStore::openAICloudMode() const {
    return readEnum(PreferenceKey::openAICloudMode, OpenAICloudMode::service);
}

void SettingsStore::setOpenAICloudMode(OpenAICloudMode mode) { writeEnum(PreferenceKey::openAICloudMode, mode); }

std::optional<std::string> SettingsStore::microphoneUniqueID() const {
    return preferences_.string(PreferenceKey::microphoneUniqueID);
}

void SettingsStore::setMicrophoneUniqueID(const std::optional<std::string>& identifier) {
    writeOptionalText(PreferenceKey::microphoneUniqueID, identifier);
}

bool SettingsStore::cleanupEnabled() const { return preferences_.boolean(PreferenceKey::cleanupEnabled); }
void SettingsStore::setCleanupEnabled(bool enabled) { preferences_.set(PreferenceKey::cleanupEnabled, enabled); }

StorageMode SettingsStore::storageMode() const {
    return readEnum(PreferenceKey::storageMode, StorageMode::local);
}

void SettingsStore::setStorageMode(StorageMode mode) { writeEnum(PreferenceKey::storageMode, mode); }

UpdateCheckFrequency SettingsStore::updateCheckFrequency() const {
    return readEnum(PreferenceKey::updateCheckFrequency, UpdateCheckFrequency::weekly);
}

void SettingsStore::setUpdateCheckFrequency(UpdateCheckFrequency frequency) {
    writeEnum(PreferenceKey::updateCheckFrequency, frequency);
}

std::optional<Date> SettingsStore::lastAutomaticUpdateCheckAt() const {
    return preferences_.date(PreferenceKey::lastAutomaticUpdateCheckAt);
}

void SettingsStore::setLastAutomaticUpdateCheckAt(const std::optional<Date>& date) {
    if (!date)
        preferences_.remove(PreferenceKey::lastAutomaticUpdateCheckAt);
    else
        preferences_.set(PreferenceKey::lastAutomaticUpdateCheckAt, *date);
}

std::optional<std::string> SettingsStore::whisperModel() const {
    auto name = preferences_.string(PreferenceKey::whisperModel);
    if (name && name->empty()) return std::nullopt;
    return name;
}

void SettingsStore::setWhisperModel(const std::optional<std::string>& name) {
    writeOptionalText(PreferenceKey::whisperModel, name);
}

std::string SettingsStore::whisperModelBaseURL() const {
    const auto url = preferences_.string(PreferenceKey::whisperModelBaseURL);
    return url && !url->empty() ? *url : std::string(defaultWhisperModelBaseURL);
}

void SettingsStore::setWhisperModelBaseURL(const std::optional<std::string>& url) {
    writeOptionalText(PreferenceKey::whisperModelBaseURL, url);
}

bool SettingsStore::welcomeShown() const { return preferences_.boolean(PreferenceKey::welcomeShown); }
void SettingsStore::setWelcomeShown(bool shown) { preferences_.set(PreferenceKey::welcomeShown, shown); }
bool SettingsStore::noTrayNoticeShown() const { return preferences_.boolean(PreferenceKey::noTrayNoticeShown); }
void SettingsStore::setNoTrayNoticeShown(bool shown) { preferences_.set(PreferenceKey::noTrayNoticeShown, shown); }

std::optional<std::string> SettingsStore::lastPromptedUpdateIdentifier() const {
    return preferences_.string(PreferenceKey::lastPromptedUpdateIdentifier);
}

void SettingsStore::setLastPromptedUpdateIdentifier(const std::optional<std::string>& identifier) {
    writeOptionalText(PreferenceKey::lastPromptedUpdateIdentifier, identifier);
}

// ---- secrets

std::optional<std::string> SettingsStore::readSecret(const SecretIdentity& identity) const {
    auto secret = secrets_.secret(identity);
    if (secret) {
        // Requests send it trimmed; a server echoes what was sent.
        rememberSecret(*secret);
        rememberSecret(trimmedWhitespaceAndNewlines(*secret));
    }
    return secret;
}

void SettingsStore::rememberSecret(const std::string& secret) const {
    if (secret.empty()) return;
    const std::lock_guard lock(secretsSeenMutex_);
    if (std::find(secretsSeen_.begin(), secretsSeen_.end(), secret) == secretsSeen_.end())
        secretsSeen_.push_back(secret);
}

std::vector<std::string> SettingsStore::secretsSeen() const {
    const std::lock_guard lock(secretsSeenMutex_);
    return secretsSeen_;
}

bool SettingsStore::isStorableSecret(std::string_view trimmed) {
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        const auto byte = static_cast<unsigned char>(trimmed[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        // U+0080 to U+009F, the C1 controls in UTF-8.
        if (byte == 0xC2 && i + 1 < trimmed.size() && static_cast<unsigned char>(trimmed[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(trimmed[i + 1]) >= 0x80)
            return false;
    }
    return true;
}

bool SettingsStore::writeSecret(const SecretIdentity& identity, const std::optional<std::string>& text) {
    const std::string trimmed = text ? trimmedWhitespaceAndNewlines(*text) : std::string();
    if (trimmed.empty()) return secrets_.deleteSecret(identity);
    if (!isStorableSecret(trimmed)) return false;
    rememberSecret(trimmed);
    return secrets_.replaceSecret(identity, trimmed);
}

std::optional<std::string> SettingsStore::openAIAPIKey() const { return readSecret(openAIAPIKeyIdentity()); }

bool SettingsStore::setOpenAIAPIKey(const std::optional<std::string>& key) {
    return writeSecret(openAIAPIKeyIdentity(), key);
}

bool SettingsStore::hasOpenAIAPIKey() const {
    const auto key = openAIAPIKey();
    return key && !key->empty();
}

std::optional<std::string> SettingsStore::serviceAccessToken() const {
    return readSecret(serviceAccessTokenIdentity());
}

bool SettingsStore::setServiceAccessToken(const std::optional<std::string>& token) {
    return writeSecret(serviceAccessTokenIdentity(), token);
}

bool SettingsStore::hasServiceAccessToken() const {
    const auto token = serviceAccessToken();
    return token && !token->empty();
}

// ---- lists changed in place

void SettingsStore::updateRecent(const std::function<void(std::vector<RecentDictation>&)>& edit) {
    preferences_.transaction(PreferenceKey::recent, [&] {
        auto entries = recent();
        edit(entries);
        setRecent(entries);
    });
}

void SettingsStore::updateDictionaryWords(const std::function<void(std::vector<std::string>&)>& edit) {
    preferences_.transaction(PreferenceKey::dictionaryWords, [&] {
        auto words = dictionaryWords();
        edit(words);
        setDictionaryWords(words);
    });
}

void SettingsStore::updateSnippets(const std::function<void(std::vector<VoiceSnippet>&)>& edit) {
    preferences_.transaction(PreferenceKey::snippets, [&] {
        auto entries = snippets();
        edit(entries);
        setSnippets(entries);
    });
}

// ---- logic

void SettingsStore::setShortcut(const KeyShortcut& shortcut, ShortcutAction action) {
    preferences_.transaction(PreferenceKey::shortcuts, [&] {
        ShortcutSettings all = shortcuts();
        all.set(shortcut, action);
        setShortcuts(all);
    });
}

void SettingsStore::addRecent(std::string_view text, std::string_view appName) {
    const std::string trimmed = trimmedWhitespaceAndNewlines(text);
    if (trimmed.empty()) return;
    const Date now = clock_.now();
    updateRecent([&](std::vector<RecentDictation>& entries) {
        if (!entries.empty()) {
            RecentDictation& newest = entries.front();
            if (newest.appName == appName && newest.text == trimmed && now < newest.date + recentMergeWindow) {
                newest = RecentDictation{now, std::string(appName), trimmed};
                return;
            }
        }
        entries.insert(entries.begin(), RecentDictation{now, std::string(appName), trimmed});
    });
}

void SettingsStore::learnLikelyTerms(std::string_view text) {
    const auto terms = likelyTerms(text);
    if (terms.empty()) return;
    updateDictionaryWords(
        [&](std::vector<std::string>& words) { words.insert(words.end(), terms.begin(), terms.end()); });
}

TransformStyle SettingsStore::style(std::optional<std::string_view> bundleIdentifier,
                                    std::optional<std::string_view> appName) const {
    return styleForApplication(bundleIdentifier, appName).value_or(transformStyle());
}

}  // namespace tavlo
