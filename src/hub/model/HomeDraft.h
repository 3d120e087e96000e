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
    // Writes the ten fields in declaration order.
    void save(SettingsStore& store) const;

    bool operator==(const HomeDraft&) const = default;
};

}  // namespace tavlo
