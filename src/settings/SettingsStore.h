#pragma once
// The one place where the user's choices, the dictionary, the snippets and the
// dictation history persist between runs. Every property reads from and writes
// to the preference store when it is used; nothing is cached, so a value written
// by one part of the program is seen at once by every other. Secrets (the OpenAI
// key, the hosted service's access token) live in the secret store instead.
//
// Reads never fail: a missing or unreadable value reads as its default. Lists
// (history, snippets, dictionary) are read entry by entry: an entry that
// cannot be read is skipped, the others are kept. Before a write replaces a
// stored value that could not be read whole, the preference store keeps the
// old value aside, so nothing the user had is lost by that write. Writes are
// fire-and-forget. Not thread-safe: use it from the main thread.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HostEnvironment.h"
#include "platform/PreferenceStore.h"
#include "platform/SecretStore.h"
#include "platform/WallClock.h"
#include "base/BubbleFrameText.h"
#include "base/Date.h"
#include "base/Enums.h"
#include "settings/LocalWhisperAvailability.h"
#include "base/Records.h"

namespace tavlo {

class SettingsStore {
public:
    // How many history entries are kept, newest first.
    static constexpr std::size_t recentLimit = 30;
    // The same text for the same application within this time is one dictation.
    static constexpr std::chrono::seconds recentMergeWindow{15};

    static const SecretIdentity& openAIAPIKeyIdentity();
    static const SecretIdentity& serviceAccessTokenIdentity();

    // Writes the first-run values that are missing and migrates the press
    // trigger of earlier versions. The services must outlive the store.
    SettingsStore(PreferenceStore& preferences, SecretStore& secrets, const HostEnvironment& host,
                  const WallClock& clock);

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    std::vector<std::string> dictionaryWords() const;
    // Trims every entry, drops empty ones and repeats (exact comparison), keeping order.
    void setDictionaryWords(const std::vector<std::string>& words);

    std::vector<VoiceSnippet> snippets() const;
    void setSnippets(const std::vector<VoiceSnippet>& snippets);

    std::vector<RecentDictation> recent() const;
    // Keeps the first recentLimit entries.
    void setRecent(const std::vector<RecentDictation>& entries);

    // Change a stored list as it is at that moment, in one step against other
    // programs writing the same settings (two dictations finishing together),
    // so neither loses what the other added.
    void updateRecent(const std::function<void(std::vector<RecentDictation>&)>& edit);
    void updateDictionaryWords(const std::function<void(std::vector<std::string>&)>& edit);
    void updateSnippets(const std::function<void(std::vector<VoiceSnippet>&)>& edit);

    TransformStyle transformStyle() const;
    void setTransformStyle(TransformStyle style);

    std::optional<Rect> bubbleFrame() const;
    void setBubbleFrame(const std::optional<Rect>& frame);

    bool bubbleVisible() const;
    void setBubbleVisible(bool visible);

    bool autoPaste() const;
    void setAutoPaste(bool enabled);

    ShortcutSettings shortcuts() const;
    void setShortcuts(const ShortcutSettings& shortcuts);

    TriggerShortcut holdTrigger() const;
    void setHoldTrigger(const TriggerShortcut& trigger);

    TriggerShortcut pressTrigger() const;
    void setPressTrigger(const TriggerShortcut& trigger);

    // When nothing is stored: local Whisper if it is installed with a model for
    // the speech language, else the on-device recogniser.
    SpeechModel speechModel() const;
    void setSpeechModel(SpeechModel model);

    std::string speechLanguageIdentifier() const;
    void setSpeechLanguageIdentifier(const std::string& identifier);

    OpenAICloudMode openAICloudMode() const;
    void setOpenAICloudMode(OpenAICloudMode mode);

    // A key or token with a control character inside (a line break from a
    // pasted file, say) would break every request it is sent in; such text is
    // refused rather than stored. Takes the text already trimmed.
    static bool isStorableSecret(std::string_view trimmed);

    std::optional<std::string> openAIAPIKey() const;
    // Stores the trimmed key; absent or blank text deletes it. False when the
    // key is not storable or the secret store refused (for a deletion: the
    // key may still be stored).
    bool setOpenAIAPIKey(const std::optional<std::string>& key);
    bool hasOpenAIAPIKey() const;

    // The hosted transcription service's bearer token, kept like the API key.
    std::optional<std::string> serviceAccessToken() const;
    bool setServiceAccessToken(const std::optional<std::string>& token);
    bool hasServiceAccessToken() const;
    // Every key and token this store has read or written so far, for taking
    // them out of messages before those are logged or shown. Kept in memory
    // only; asking never reaches the secret store.
    std::vector<std::string> secretsSeen() const;

    std::optional<std::string> microphoneUniqueID() const;
    // Absent or empty text removes the key.
    void setMicrophoneUniqueID(const std::optional<std::string>& identifier);

    bool cleanupEnabled() const;
    void setCleanupEnabled(bool enabled);

    StorageMode storageMode() const;
    void setStorageMode(StorageMode mode);

    UpdateCheckFrequency updateCheckFrequency() const;
    void setUpdateCheckFrequency(UpdateCheckFrequency frequency);

    std::optional<Date> lastAutomaticUpdateCheckAt() const;
    void setLastAutomaticUpdateCheckAt(const std::optional<Date>& date);

    // Whether the first-start welcome was shown; absent until it was.
    bool welcomeShown() const;
    void setWelcomeShown(bool shown);
    // Whether the user was told that this desktop shows no tray icon.
    bool noTrayNoticeShown() const;
    void setNoTrayNoticeShown(bool shown);

    std::optional<std::string> lastPromptedUpdateIdentifier() const;
    // Absent or empty text removes the key.
    void setLastPromptedUpdateIdentifier(const std::optional<std::string>& identifier);

    // The Whisper model the user chose by name ("small.en"); absent: the
    // first one found in the usual order for the speech language.
    std::optional<std::string> whisperModel() const;
    // Absent or empty text removes the choice.
    void setWhisperModel(const std::optional<std::string>& name);

    // Where models are downloaded from: a model's address is this base
    // followed by its file name. whisper.cpp's public model host unless set.
    static constexpr std::string_view defaultWhisperModelBaseURL =
        "https://huggingface.co/ggerganov/whisper.cpp/resolve/main";
    std::string whisperModelBaseURL() const;
    // Absent or empty text goes back to the default.
    void setWhisperModelBaseURL(const std::optional<std::string>& url);

    // Replaces one action's shortcut and writes the whole set back.
    void setShortcut(const KeyShortcut& shortcut, ShortcutAction action);

    // Records a delivered dictation; the same text for the same application again
    // within recentMergeWindow only refreshes the newest entry's time.
    void addRecent(std::string_view text, std::string_view appName);

    // Adds the likely proper names of a delivered text to the dictionary.
    void learnLikelyTerms(std::string_view text);

    // The style for a target application (mail: professional, chat: casual),
    // else the stored default style.
    TransformStyle style(std::optional<std::string_view> bundleIdentifier,
                         std::optional<std::string_view> appName) const;

    // Local Whisper with a model for the language is installed on this machine.
    bool localWhisperIsAvailable(std::string_view languageIdentifier) const;

private:
    void initialise();
    void writeFirstRunValues();
    SpeechModel engineRule(std::string_view languageIdentifier) const;
    std::string currentLocale() const;

    template <class T> std::optional<T> readJson(std::string_view key) const;
    // The readable entries of a stored JSON array; `whole` is cleared when
    // something stored could not be read.
    template <class T> std::vector<T> readJsonList(std::string_view key, bool& whole) const;
    std::vector<std::string> readDictionary(bool& whole) const;
    template <class T> bool readsWhole(std::string_view key) const;
    // False when the stored value could not be read whole and could not be
    // kept aside either: then it must not be replaced.
    bool mayReplace(std::string_view key, bool storedReadsWhole);
    template <class T> void writeJson(std::string_view key, const T& value);
    template <class E> E readEnum(std::string_view key, E fallback) const;
    template <class E> void writeEnum(std::string_view key, E value);
    void writeOptionalText(std::string_view key, const std::optional<std::string>& text);

    std::optional<std::string> readSecret(const SecretIdentity& identity) const;
    bool writeSecret(const SecretIdentity& identity, const std::optional<std::string>& text);

    void rememberSecret(const std::string& secret) const;

    PreferenceStore& preferences_;
    SecretStore& secrets_;
    mutable std::mutex secretsSeenMutex_;
    mutable std::vector<std::string> secretsSeen_;
    const HostEnvironment& host_;
    const WallClock& clock_;
};

}  // namespace tavlo
