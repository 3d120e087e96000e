#include "hub/model/HomeDraft.h"

namespace tavlo {

HomeDraft HomeDraft::load(const SettingsStore& store) {
    return HomeDraft{store.speechModel(),      store.openAICloudMode(), store.speechLanguageIdentifier(),
                     store.microphoneUniqueID(), store.cleanupEnabled(), store.storageMode(),
                     store.updateCheckFrequency(), store.holdTrigger(),  store.pressTrigger(),
                     store.whisperModel()};
}

namespace {

// Calls `visit` with each field of the three drafts, in declaration order.
template <class Visit> void forEachField(Visit&& visit) {
    visit(&HomeDraft::speechModel);
    visit(&HomeDraft::openAICloudMode);
    visit(&HomeDraft::speechLanguageIdentifier);
    visit(&HomeDraft::microphoneUniqueID);
    visit(&HomeDraft::cleanupEnabled);
    visit(&HomeDraft::storageMode);
    visit(&HomeDraft::updateCheckFrequency);
    visit(&HomeDraft::holdTrigger);
    visit(&HomeDraft::pressTrigger);
    visit(&HomeDraft::whisperModel);
}

}  // namespace

void HomeDraft::saveChanges(SettingsStore& store, const HomeDraft& base) const {
    if (speechModel != base.speechModel) store.setSpeechModel(speechModel);
    if (openAICloudMode != base.openAICloudMode) store.setOpenAICloudMode(openAICloudMode);
    if (speechLanguageIdentifier != base.speechLanguageIdentifier)
        store.setSpeechLanguageIdentifier(speechLanguageIdentifier);
    if (microphoneUniqueID != base.microphoneUniqueID) store.setMicrophoneUniqueID(microphoneUniqueID);
    if (cleanupEnabled != base.cleanupEnabled) store.setCleanupEnabled(cleanupEnabled);
    if (storageMode != base.storageMode) store.setStorageMode(storageMode);
    if (updateCheckFrequency != base.updateCheckFrequency) store.setUpdateCheckFrequency(updateCheckFrequency);
    if (holdTrigger != base.holdTrigger) store.setHoldTrigger(holdTrigger);
    if (pressTrigger != base.pressTrigger) store.setPressTrigger(pressTrigger);
    if (whisperModel != base.whisperModel) store.setWhisperModel(whisperModel);
}

void HomeDraft::follow(const HomeDraft& base, const HomeDraft& stored) {
    forEachField([&](auto field) {
        if (this->*field == base.*field) this->*field = stored.*field;
    });
}

}  // namespace tavlo
