#include "app/cli/DownloadProgressText.h"

#include <cmath>
#include <cstdio>

namespace tavlo::cli {

std::string downloadProgressLine(std::uint64_t bytes, std::optional<std::uint64_t> total,
                                 std::optional<double> bytesPerSecond) {
    std::string line = byteSizeText(bytes);
    if (total && *total > 0) {
        const int percent = static_cast<int>(std::min<std::uint64_t>(100, bytes * 100 / *total));
        line += " of " + byteSizeText(*total) + " (" + std::to_string(percent) + "%)";
    }
    if (bytesPerSecond && *bytesPerSecond > 0) {
        line += ", " + byteSizeText(static_cast<std::uint64_t>(*bytesPerSecond)) + "/s";
        if (total && *total > bytes) {
            const auto seconds = static_cast<long long>(std::ceil(static_cast<double>(*total - bytes) / *bytesPerSecond));
            char left[48];
            if (seconds >= 3600)
                std::snprintf(left, sizeof left, ", %lld:%02lld:%02lld left", seconds / 3600, seconds / 60 % 60,
                              seconds % 60);
            else
                std::snprintf(left, sizeof left, ", %lld:%02lld left", seconds / 60, seconds % 60);
            line += left;
        }
    }
    return line;
}

DownloadProgressText::DownloadProgressText(std::ostream& out, bool terminal, std::string modelName)
    : out_(out), terminal_(terminal), modelName_(std::move(modelName)) {}

void DownloadProgressText::show(const WhisperModelDownloadProgress& progress) {
    using Phase = WhisperModelDownloadProgress::Phase;
    if (progress.phase == Phase::verifying) {
        if (terminal_) {
            const int percent = progress.totalBytes && *progress.totalBytes > 0
                                    ? static_cast<int>(progress.bytes * 100 / *progress.totalBytes)
                                    : 0;
            out_ << "\r" << modelName_ << ": checking the download (" << percent << "%)\x1b[K" << std::flush;
            lineOpen_ = true;
        } else if (!verifyingShown_) {
            out_ << modelName_ << ": checking the download\n" << std::flush;
        }
        verifyingShown_ = true;
        return;
    }
    const auto now = Clock::now();
    // The rate counts this run's bytes only, not those of an earlier run.
    if (!firstBytes_) {
        firstBytes_ = progress.bytes;
        firstAt_ = now;
    }
    std::optional<double> rate;
    const double seconds = std::chrono::duration<double>(now - firstAt_).count();
    if (seconds >= 0.5 && progress.bytes > *firstBytes_) rate = static_cast<double>(progress.bytes - *firstBytes_) / seconds;
    if (terminal_) {
        out_ << "\r" << modelName_ << ": " << downloadProgressLine(progress.bytes, progress.totalBytes, rate) << "\x1b[K"
             << std::flush;
        lineOpen_ = true;
        return;
    }
    // Plain lines: at each tenth of a known total, else every 16 MB.
    bool due = false;
    if (progress.totalBytes && *progress.totalBytes > 0) {
        const int tenth = static_cast<int>(std::min<std::uint64_t>(10, progress.bytes * 10 / *progress.totalBytes));
        due = tenth > lastTenth_;
        if (due) lastTenth_ = tenth;
    } else {
        due = progress.bytes > 0 && (lastTenth_ < 0 || progress.bytes >= lastPlainBytes_ + (16u << 20));
        if (due) lastTenth_ = 0;
    }
    if (!due) return;
    lastPlainBytes_ = progress.bytes;
    out_ << modelName_ << ": " << downloadProgressLine(progress.bytes, progress.totalBytes, std::nullopt) << "\n"
         << std::flush;
}

void DownloadProgressText::end() {
    if (lineOpen_) out_ << "\n" << std::flush;
    lineOpen_ = false;
}

}  // namespace tavlo::cli
