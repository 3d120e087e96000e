#include "app/core/DiagnosticsLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

#include "base/SecretRedaction.h"

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

namespace {

// Creates the folder and its missing parents, each private to the user
// whatever the umask: the log tells what the user dictated where. Folders
// that already exist are left as they are.
bool makePrivateFolders(const std::filesystem::path& folder, std::string& reason) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) return true;
    const auto parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !makePrivateFolders(parent, reason)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0) {
        if (errno == EEXIST) return true;
        reason = folder.string() + ": " + std::strerror(errno);
        return false;
    }
    // mkdir applies the umask, which may take bits away from the owner too.
    ::chmod(folder.c_str(), 0700);
    return true;
}

}  // namespace

void DiagnosticsLog::logDiagnostic(std::string_view message) const {
    std::string line = "[" + iso8601Timestamp(clock_()) + "] ";
    line += logSafeMessage(redactSecrets(message, secrets_ ? secrets_() : std::vector<std::string>{}));
    line += '\n';
    systemLog_("Tavlo " + line);

    auto fail = [this](const std::string& reason) {
        systemLog_("Tavlo could not write diagnostics: " + reason + "\n");
    };

    std::string reason;
    if (!makePrivateFolders(file_.parent_path(), reason)) return fail(reason);

    // Never through a link, and only into a plain file of the user's own
    // with no other name: whoever could plant one there would otherwise
    // choose which file the next entries are appended to. An existing log
    // that cannot be used is left as it is: replacing it would throw the
    // earlier trail away.
    const int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC,
                          0600);
    if (fd < 0) {
        if (errno == ELOOP) return fail(file_.string() + ": is a symbolic link; nothing was written");
        return fail(file_.string() + ": " + std::strerror(errno));
    }
    struct stat info {};
    std::string refusal;
    if (::fstat(fd, &info) != 0) refusal = std::strerror(errno);
    else if (!S_ISREG(info.st_mode)) refusal = "is not a plain file; nothing was written";
    else if (info.st_uid != ::geteuid()) refusal = "belongs to another user; nothing was written";
    else if (info.st_nlink != 1) refusal = "has other names (hard links); nothing was written";
    if (!refusal.empty()) {
        ::close(fd);
        return fail(file_.string() + ": " + refusal);
    }
    // Private whatever the umask, also a log an earlier version left readable.
    if ((info.st_mode & 07777) != 0600) ::fchmod(fd, 0600);

    // One write to an O_APPEND file, so concurrent writers (two running
    // instances) interleave whole lines.
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int writeErrno = errno;
    ::close(fd);
    if (written < 0) return fail(file_.string() + ": " + std::strerror(writeErrno));
    if (static_cast<std::size_t>(written) != line.size()) fail(file_.string() + ": the entry was cut short");
}

}  // namespace tavlo
