#include "platform/linux/secrets/SecretServiceOrFileStore.h"

namespace tavlo {

using Status = LibsecretSecretStore::Status;

SecretServiceOrFileStore::SecretServiceOrFileStore(LibsecretSecretStore& service, FileSecretStore& file)
    : service_(service), file_(file) {}

std::optional<std::string> SecretServiceOrFileStore::secret(const SecretIdentity& identity) {
    const auto lookup = service_.lookup(identity);
    if (lookup.status == Status::failed) return std::nullopt;
    if (lookup.secret) return lookup.secret;

    auto fromFile = file_.secret(identity);
    if (fromFile && lookup.status == Status::ok &&
        service_.store(identity, *fromFile) == Status::ok)
        file_.deleteSecret(identity);  // now safe in the keyring
    return fromFile;
}

bool SecretServiceOrFileStore::replaceSecret(const SecretIdentity& identity, std::string_view secret) {
    switch (service_.store(identity, secret)) {
    case Status::ok:
        file_.deleteSecret(identity);
        lastWritePlace_ = Place::secretService;
        return true;
    case Status::unavailable:
        if (!file_.replaceSecret(identity, secret)) return false;
        lastWritePlace_ = Place::file;
        return true;
    case Status::failed: break;
    }
    return false;
}

bool SecretServiceOrFileStore::deleteSecret(const SecretIdentity& identity) {
    const Status status = service_.clear(identity);
    const bool fileCleared = file_.deleteSecret(identity);
    return status != Status::failed && fileCleared;
}

}  // namespace tavlo
