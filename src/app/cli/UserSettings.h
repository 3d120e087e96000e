#pragma once
// The settings store on the real machine, with everything it needs: the
// settings file in the XDG configuration folder, the Secret Service with its
// private-file fallback, the environment and the clock. The command-line entry
// points and the desktop program both build it here, so both see the same
// settings and create the same first-run values.
#include <iosfwd>
#include <memory>

#include "platform/linux/files/FilePreferenceStore.h"
#include "platform/linux/secrets/FileSecretStore.h"
#include "platform/linux/secrets/LibsecretSecretStore.h"
#include "platform/linux/secrets/SecretServiceOrFileStore.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "platform/linux/system/SystemWallClock.h"
#include "settings/SettingsStore.h"

namespace tavlo {

class UserSettings {
public:
    // Messages about damaged files or unwritable folders go to `messages`, one
    // line each, prefixed with "tavlo: ".
    explicit UserSettings(std::ostream& messages);

    SettingsStore& store() { return store_; }
    FilePreferenceStore& preferences() { return preferences_; }
    SecretServiceOrFileStore& secrets() { return secrets_; }

private:
    SystemHostEnvironment host_;
    SystemWallClock clock_;
    FilePreferenceStore::Reporter report_;
    FilePreferenceStore preferences_;
    LibsecretSecretStore keyring_;
    FileSecretStore secretFile_;
    SecretServiceOrFileStore secrets_;
    SettingsStore store_;
};

// Opens the user's settings; first use on a fresh machine writes the first-run values.
std::unique_ptr<UserSettings> openUserSettings(std::ostream& messages);

}  // namespace tavlo
