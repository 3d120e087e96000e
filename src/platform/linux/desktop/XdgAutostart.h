#pragma once
// Starting at login the freedesktop way: an entry in the user's autostart
// folder ($XDG_CONFIG_HOME/autostart) that runs this program. Turning it off
// removes our entry; an entry the user switched off in the desktop's own
// settings (Hidden=true, or GNOME's enabled key set to false) reads as off.
#include <filesystem>
#include <string>

#include "platform/HostEnvironment.h"
#include "platform/LoginStartup.h"

namespace tavlo {

class XdgAutostart final : public LoginStartup {
public:
    // `program` is the executable the entry starts (this program's path).
    // When it is the `tavlo` found on PATH (an installed program) the entry
    // names it by that command alone, so it keeps working after the program
    // is updated or moved by the package manager.
    XdgAutostart(const HostEnvironment& host, std::filesystem::path program);
    // "tavlo" when `program` is the one PATH finds under that name, else `program`.
    static std::filesystem::path commandFor(const HostEnvironment& host, const std::filesystem::path& program);

    bool isEnabled() const override;
    bool setEnabled(bool enabled) override;

    const std::filesystem::path& entryPath() const { return entry_; }
    // The entry's text for a program path.
    static std::string entryText(const std::filesystem::path& program);

private:
    std::filesystem::path entry_;
    std::filesystem::path program_;
};

}  // namespace tavlo
