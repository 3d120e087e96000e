#pragma once
// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC)
// through libsecret. One item per (service, account), stored under the schema
// "com.tavlo.app.Secret" with those two attributes; storing again replaces it.
//
// Every call runs on a private main context with a cancellable that fires after
// the time-out, so a locked keyring whose unlock prompt nobody answers cannot
// hang the program.
#include <chrono>
#include <optional>
#include <string>

#include "platform/SecretStore.h"

namespace tavlo {

class LibsecretSecretStore : public SecretStore {
public:
    enum class Status {
        ok,
        unavailable,  // no Secret Service to talk to (no bus, or nobody owns the name)
        failed,       // the service refused, or did not answer in time
    };

    struct Lookup {
        Status status = Status::failed;
        std::optional<std::string> secret;  // with ok: absent when there is no item
    };

    static constexpr std::chrono::milliseconds defaultTimeout{5000};

    explicit LibsecretSecretStore(std::chrono::milliseconds timeout = defaultTimeout);

    Lookup lookup(const SecretIdentity& identity);
    Status store(const SecretIdentity& identity, std::string_view secret);
    Status clear(const SecretIdentity& identity);

    std::optional<std::string> secret(const SecretIdentity& identity) override;
    bool replaceSecret(const SecretIdentity& identity, std::string_view secret) override;
    bool deleteSecret(const SecretIdentity& identity) override;

private:
    std::chrono::milliseconds timeout_;
};

}  // namespace tavlo
