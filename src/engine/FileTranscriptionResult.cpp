#include "engine/FileTranscriptionResult.h"

namespace tavlo {

PlatformError fileTranscriptionError(const std::string& message) {
    return PlatformError("Tavlo.FileTranscription", 1, message);
}

}  // namespace tavlo
