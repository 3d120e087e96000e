#include "hub/model/HomeDraft.h"

namespace tavlo {

HomeDraft HomeDraft::load(const SettingsStore& store) {
    return HomeDraft{store.speechModel(),      store.openAICloudMode(), store.speechLanguageIdentifier(),
                     store.microphoneUniqueID(), store.cleanupEnabled(), store.storageMode(),
                     store.updateCheckFrequency(), store.holdTrigger(),  store.pressTrigger(),
                     store.whisperModel()};
}

void HomeDraft::save(SettingsStore& store) const {
    store.setSpeechModel(speechModel);
    store.setOpenAICloudMode(openAICloudMode);
    store.setSpeechLanguageIdentifier(speechLanguageIdentifier);
    store.setMicrophoneUniqueID(microphoneUniqueID);
    store.setCleanupEnabled(cleanupEnabled);
    store.setStorageMode(storageMode);
    store.setUpdateCheckFrequency(updateCheckFrequency);
    store.setHoldTrigger(holdTrigger);
    store.setPressTrigger(pressTrigger);
    store.setWhisperModel(whisperModel);
}

}  // namespace tavlo
