#pragma once
// The one diagnostic trail of the application: each entry is one line,
// "[<UTC time>] <message>", echoed to the system log and appended to a file;
// control characters inside the message are escaped.
// Logging never fails towards the caller. The file and any folder made for it
// are private to the user whatever the umask; a log path that is a link, not
// a plain file or someone else's is refused with a message to the system log.
// No entry carries a secret: "Bearer" credentials and the secrets the program
// knows of are replaced by "[redacted]".
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Date.h"

namespace tavlo {

// ISO 8601 in UTC with whole seconds, e.g. "2026-03-14T09:26:53Z".
std::string iso8601Timestamp(Date date);

// The message as it is written into an entry: line feeds, carriage returns and
// tabs become "\n", "\r" and "\t", every other control character (C0, DEL,
// C1) becomes "\u00XX". Messages carry text from servers and files, and an
// entry must stay one line that cannot pass for another entry or drive the
// terminal it is shown on.
std::string logSafeMessage(std::string_view message);

class DiagnosticsLog {
public:
    using Clock = std::function<Date()>;
    // Receives every line meant for the system log (standard error by default).
    using SystemLog = std::function<void(std::string_view)>;

    explicit DiagnosticsLog(std::filesystem::path file, Clock clock = defaultClock(),
                            SystemLog systemLog = standardErrorLog());

    // The stored key and token known so far, taken out of every entry.
    using Secrets = std::function<std::vector<std::string>()>;
    void setSecrets(Secrets secrets) { secrets_ = std::move(secrets); }

    void logDiagnostic(std::string_view message) const;

    const std::filesystem::path& file() const { return file_; }

    static Clock defaultClock();
    static SystemLog standardErrorLog();

private:
    std::filesystem::path file_;
    Clock clock_;
    SystemLog systemLog_;
    Secrets secrets_;
};

}  // namespace tavlo
