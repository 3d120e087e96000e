#include "platform/linux/audio/LinuxAudioServices.h"

#include <utility>

#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"
#include "platform/linux/audio/SndfileSilenceTrimmer.h"

namespace tavlo {

LinuxAudioServices makeLinuxAudioServices() {
    LinuxAudioServices services;
    services.audioCapture = std::make_shared<PulseAudioCapture>();
    services.audioFileWriter = std::make_shared<SndfileAudioFileWriter>();
    auto recognizer = std::make_shared<PocketSphinxRecognizerService>();
    // Loading the acoustic model takes from a third of a second to most of
    // one; done now, the first dictation's words appear as soon as it hears
    // speech instead of after the load.
    recognizer->warmUpInBackground();
    services.speechRecognizer = std::move(recognizer);
    services.silenceTrimmer = std::make_shared<SndfileSilenceTrimmer>();
    return services;
}

}  // namespace tavlo
