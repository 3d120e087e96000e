#include "platform/linux/audio/LinuxAudioServices.h"

#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"
#include "platform/linux/audio/SndfileSilenceTrimmer.h"

namespace tavlo {

LinuxAudioServices makeLinuxAudioServices() {
    LinuxAudioServices services;
    services.audioCapture = std::make_shared<PulseAudioCapture>();
    services.audioFileWriter = std::make_shared<SndfileAudioFileWriter>();
    services.speechRecognizer = std::make_shared<PocketSphinxRecognizerService>();
    services.silenceTrimmer = std::make_shared<SndfileSilenceTrimmer>();
    return services;
}

}  // namespace tavlo
