#pragma once
// The Home settings being edited: loaded from the store, changed by the Home
// controls, and written back together by "Save changes" (or dropped by
// "Revert"). Two drafts are equal when every field is.
#include <optional>
#include <string>

#include "base/Records.h"
#include "settings/SettingsStore.h"

namespace tavlo {

struct HomeDraft {
    SpeechModel speechModel = SpeechModel::appleOnDevice;
    OpenAICloudMode openAICloudMode = OpenAICloudMode::service;
    std::string speechLanguageIdentifier;
    std::optional<std::string> microphoneUniqueID;  // absent: the system default microphone
    bool cleanupEnabled = true;
    StorageMode storageMode = StorageMode::local;
    UpdateCheckFrequency updateCheckFrequency = UpdateCheckFrequency::daily;
    TriggerShortcut holdTrigger;
    TriggerShortcut pressTrigger;
    std::optional<std::string> whisperModel;  // absent: local Whisper's usual order

    static HomeDraft load(const SettingsStore& store);
    // Writes the fields that differ from `base` (the stored values the draft
    // started from), in declaration order; the others stay as stored, so a
    // change made elsewhere meanwhile is not undone.
    void saveChanges(SettingsStore& store, const HomeDraft& base) const;
    // The stored values moved from `base` to `stored`: every field the user
    // left as it was in `base` takes the stored value; edited ones stay.
    void follow(const HomeDraft& base, const HomeDraft& stored);

    bool operator==(const HomeDraft&) const = default;
};

}  // namespace tavlo
