#include "platform/linux/audio/LinuxAudioServices.h"

#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"

namespace tavlo {

LinuxAudioServices makeLinuxAudioServices() {
    LinuxAudioServices services;
    services.audioCapture = std::make_shared<PulseAudioCapture>();
    services.audioFileWriter = std::make_shared<SndfileAudioFileWriter>();
    services.speechRecognizer = std::make_shared<PocketSphinxRecognizerService>();
    return services;
}

}  // namespace tavlo
