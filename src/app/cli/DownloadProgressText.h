#pragma once
// How a model download shows its progress: on a terminal one line redrawn in
// place (bytes, rate, time left); elsewhere (a log, a pipe) a plain line at
// every tenth of the way, so a log is not flooded.
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "engine/whisper/WhisperModelDownload.h"

namespace tavlo::cli {

// "45 MB of 142 MB, 3.1 MB/s, 0:31 left"; without a known total or before
// the rate is known, the parts that cannot be said are left out.
std::string downloadProgressLine(std::uint64_t bytes, std::optional<std::uint64_t> total,
                                 std::optional<double> bytesPerSecond);

class DownloadProgressText {
public:
    using Clock = std::chrono::steady_clock;

    DownloadProgressText(std::ostream& out, bool terminal, std::string modelName);
    void show(const WhisperModelDownloadProgress& progress);
    // Ends the redrawn line before other text is printed.
    void end();

private:
    std::ostream& out_;
    bool terminal_;
    std::string modelName_;
    bool lineOpen_ = false;
    std::optional<std::uint64_t> firstBytes_;
    Clock::time_point firstAt_{};
    int lastTenth_ = -1;
    std::uint64_t lastPlainBytes_ = 0;
    bool verifyingShown_ = false;
};

}  // namespace tavlo::cli
