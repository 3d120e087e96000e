#pragma once
// The real audio adapters: the microphone through the sound server, recording
// files, and the on-device recogniser. The program and the commands make them
// here so every caller uses the same ones.
#include <memory>

#include "platform/AudioCapture.h"
#include "platform/AudioFileWriter.h"
#include "platform/SilenceTrimmer.h"
#include "platform/SpeechRecognizerService.h"

namespace tavlo {

struct LinuxAudioServices {
    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<AudioFileWriter> audioFileWriter;
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<SilenceTrimmer> silenceTrimmer;
};

LinuxAudioServices makeLinuxAudioServices();

}  // namespace tavlo
