#pragma once
// Uses the Secret Service when one answers and the private file otherwise, for
// each call, so a keyring that appears later (after login) is used from then on.
//
// - A secret written while no service ran lives in the file; once a service
//   answers, reading it moves it into the keyring and out of the file.
// - Storing in the keyring also deletes any copy in the file.
// - A keyring that answers but refuses (locked, prompt dismissed, too slow)
//   never makes a secret land in the file instead: the write fails.
#include <string>

#include "platform/SecretStore.h"
#include "platform/linux/secrets/FileSecretStore.h"
#include "platform/linux/secrets/LibsecretSecretStore.h"

namespace tavlo {

class SecretServiceOrFileStore : public SecretStore {
public:
    enum class Place { none, secretService, file };

    SecretServiceOrFileStore(LibsecretSecretStore& service, FileSecretStore& file);

    std::optional<std::string> secret(const SecretIdentity& identity) override;
    bool replaceSecret(const SecretIdentity& identity, std::string_view secret) override;
    bool deleteSecret(const SecretIdentity& identity) override;

    // Where the last successful write went, for messages to the user.
    Place lastWritePlace() const { return lastWritePlace_; }
    const FileSecretStore& file() const { return file_; }

private:
    LibsecretSecretStore& service_;
    FileSecretStore& file_;
    Place lastWritePlace_ = Place::none;
};

}  // namespace tavlo
