#pragma once
// A secret store in memory, for tests. It can be told to refuse every call, as a
// locked or missing keyring would.
#include <map>
#include <string>
#include <utility>

#include "platform/SecretStore.h"

namespace tavlo {

class InMemorySecretStore : public SecretStore {
public:
    std::optional<std::string> secret(const SecretIdentity& identity) override;
    bool replaceSecret(const SecretIdentity& identity, std::string_view secret) override;
    bool deleteSecret(const SecretIdentity& identity) override;

    void setFailing(bool failing) { failing_ = failing; }
    std::size_t itemCount() const { return items_.size(); }
    // How often a secret was asked for: a real keyring may be slow to answer.
    std::size_t lookupCount() const { return lookups_; }

private:
    std::map<std::pair<std::string, std::string>, std::string> items_;
    bool failing_ = false;
    std::size_t lookups_ = 0;
};

}  // namespace tavlo
