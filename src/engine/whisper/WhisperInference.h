#pragma once
// The inference request to a whisper-server and the reading of its reply.
#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "platform/HttpClient.h"

namespace tavlo {

inline constexpr double kWhisperInferenceTimeoutSeconds = 600.0;

// The length of a 16 kHz mono 16-bit WAV file of this size.
double whisperWavSeconds(std::uintmax_t fileSize);
// How long an inference may take at most: a minute, and twice the audio's
// length on top, so a long file is not cut off and a short one never waits
// minutes on a server that does not answer.
double whisperInferenceTimeoutSeconds(double audioSeconds);

// POST to serverURL + "inference": the response format, the temperature and
// the WAV file as "audio.wav", in that order.
HttpRequest whisperInferenceRequest(const std::string& serverURL, const std::string& boundary,
                                    const std::string& wavBytes);

// The same request with the WAV file's contents read from disk while it is
// sent, so memory stays flat whatever the recording's length.
HttpRequest whisperInferenceUpload(const std::string& serverURL, const std::string& boundary,
                                   const std::filesystem::path& wav);

struct WhisperTranscript {
    std::string text;
};
// The message of a failed inference; empty means no detail is known.
struct WhisperInferenceFailure {
    std::string message;
};

// Status 200-299 gives the "text" of a JSON object reply, or the whole body
// when it is not one; any other status or a transport error fails with the
// server's reply text or the error's description.
std::variant<WhisperTranscript, WhisperInferenceFailure> readWhisperInferenceReply(const HttpResult& result);

}  // namespace tavlo
