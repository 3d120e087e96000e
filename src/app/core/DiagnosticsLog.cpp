#include "app/core/DiagnosticsLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <system_error>

namespace tavlo {

std::string iso8601Timestamp(Date date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::floor<std::chrono::seconds>(date));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

std::string logSafeMessage(std::string_view message) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    auto escaped = [](unsigned char code) {
        return std::string("\\u00") + hexDigits[code >> 4] + hexDigits[code & 0xF];
    };
    std::string safe;
    safe.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        const auto byte = static_cast<unsigned char>(message[i]);
        if (byte == '\n') {
            safe += "\\n";
        } else if (byte == '\r') {
            safe += "\\r";
        } else if (byte == '\t') {
            safe += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            safe += escaped(byte);
        } else if (byte == 0xC2 && i + 1 < message.size() && static_cast<unsigned char>(message[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(message[i + 1]) <= 0x9F) {
            // U+0080 to U+009F, the C1 controls in UTF-8.
            safe += escaped(static_cast<unsigned char>(message[++i]));
        } else {
            safe += static_cast<char>(byte);
        }
    }
    return safe;
}

DiagnosticsLog::DiagnosticsLog(std::filesystem::path file, Clock clock, SystemLog systemLog)
    : file_(std::move(file)), clock_(std::move(clock)), systemLog_(std::move(systemLog)) {}

DiagnosticsLog::Clock DiagnosticsLog::defaultClock() {
    return [] { return std::chrono::system_clock::now(); };
}

DiagnosticsLog::SystemLog DiagnosticsLog::standardErrorLog() {
    return [](std::string_view line) { std::cerr << line << std::flush; };
}

void DiagnosticsLog::logDiagnostic(std::string_view message) const {
    std::string line = "[" + iso8601Timestamp(clock_()) + "] ";
    line += logSafeMessage(message);
    line += '\n';
    systemLog_("Tavlo " + line);

    auto fail = [this](const std::string& reason) {
        systemLog_("Tavlo could not write diagnostics: " + reason + "\n");
    };

    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (error) return fail(file_.parent_path().string() + ": " + error.message());

    // Append with one write to an O_APPEND stream, so concurrent writers (two
    // running instances) interleave whole lines. An existing log that cannot be
    // opened is left as it is: replacing it would throw the earlier trail away.
    std::FILE* stream = std::fopen(file_.c_str(), "ab");
    if (!stream) return fail(file_.string() + ": " + std::strerror(errno));
    const bool written = std::fwrite(line.data(), 1, line.size(), stream) == line.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed) fail(file_.string() + ": " + std::strerror(written ? errno : writeErrno));
}

}  // namespace tavlo
