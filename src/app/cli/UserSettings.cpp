#include "app/cli/UserSettings.h"

#include <ostream>

#include "platform/linux/files/XdgDirectories.h"

namespace tavlo {

UserSettings::UserSettings(std::ostream& messages)
    : report_([&messages](const std::string& line) { messages << "tavlo: " << line << "\n" << std::flush; }),
      preferences_(configHome(host_) / "tavlo", report_),
      secretFile_(dataHome(host_) / "tavlo" / "secrets", report_),
      secrets_(keyring_, secretFile_),
      store_(preferences_, secrets_, host_, clock_) {}

std::unique_ptr<UserSettings> openUserSettings(std::ostream& messages) {
    return std::make_unique<UserSettings>(messages);
}

}  // namespace tavlo
