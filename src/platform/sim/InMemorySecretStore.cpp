#include "platform/sim/InMemorySecretStore.h"

namespace tavlo {

std::optional<std::string> InMemorySecretStore::secret(const SecretIdentity& identity) {
    ++lookups_;
    if (failing_) return std::nullopt;
    const auto found = items_.find({identity.service, identity.account});
    if (found == items_.end()) return std::nullopt;
    return found->second;
}

bool InMemorySecretStore::replaceSecret(const SecretIdentity& identity, std::string_view secret) {
    if (failing_) return false;
    items_[{identity.service, identity.account}] = std::string(secret);
    return true;
}

bool InMemorySecretStore::deleteSecret(const SecretIdentity& identity) {
    if (failing_) return false;
    items_.erase({identity.service, identity.account});
    return true;
}

}  // namespace tavlo
