#include "engine/whisper/ConversionFailure.h"

namespace tavlo {
namespace {

bool mentions(std::string_view text, std::string_view words) { return text.find(words) != std::string_view::npos; }

}  // namespace

std::string ffmpegFailureMessage(std::string_view standardError) {
    // Nothing said: the caller's general words.
    if (standardError.find_first_not_of(" \t\r\n") == std::string_view::npos) return {};
    // A video without a sound track: there is nothing to convert.
    if (mentions(standardError, "does not contain any stream") || mentions(standardError, "matches no streams"))
        return "The file has no sound to transcribe.";
    if (mentions(standardError, "Invalid data found when processing input") ||
        mentions(standardError, "could not find codec parameters") || mentions(standardError, "Invalid argument"))
        return "The file could not be read as audio or video (Invalid data found when processing input).";
    if (mentions(standardError, "No such file or directory")) return "The file could not be found.";
    if (mentions(standardError, "Permission denied")) return "The file could not be opened: permission denied.";
    return "The file's sound could not be converted for transcription.";
}

}  // namespace tavlo
