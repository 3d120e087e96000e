// Permissions: speech recognition first and the microphone second for the
// on-device model; only the microphone for the delayed back ends, which never
// ask for speech recognition.
#include <utility>

#include "engine/DictationEngine.h"

namespace tavlo {

void DictationEngine::requestPermissions(SpeechModel model, PermissionCompletion completion) {
    if (model != SpeechModel::appleOnDevice) {
        requestMicrophoneAccess(std::move(completion));
        return;
    }
    speechRecognizer->requestAuthorization(
        [weak = weak_from_this(), queue = mainQueue,
         completion = std::move(completion)](SpeechAuthorizationStatus status) {
            queue->post([weak, status, completion] {
                auto self = weak.lock();
                if (!self) return;
                if (status != SpeechAuthorizationStatus::authorized) {
                    completion(DictationEngineError::recognitionDenied());
                    return;
                }
                self->requestMicrophoneAccess(completion);
            });
        });
}

void DictationEngine::requestMicrophoneAccess(PermissionCompletion completion) {
    audioCapture->requestMicrophoneAccess(
        [weak = weak_from_this(), queue = mainQueue, completion = std::move(completion)](bool granted) {
            queue->post([weak, granted, completion] {
                if (!weak.lock()) return;
                if (granted)
                    completion(std::nullopt);
                else
                    completion(DictationEngineError::microphoneDenied());
            });
        });
}

}  // namespace tavlo
