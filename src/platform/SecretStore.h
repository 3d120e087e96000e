#pragma once
// Storage for small secrets (API keys, access tokens), one item per service and
// account. Failures are quiet: a failed read looks like a missing item.
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

struct SecretIdentity {
    std::string service;
    std::string account;
    bool operator==(const SecretIdentity&) const = default;
};

class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The stored text, or absent when there is none or it cannot be read.
    virtual std::optional<std::string> secret(const SecretIdentity& identity) = 0;
    // Adds the item or replaces its text; false when the store refused.
    virtual bool replaceSecret(const SecretIdentity& identity, std::string_view secret) = 0;
    // Removes the item; true when no item is left (also when there was none).
    virtual bool deleteSecret(const SecretIdentity& identity) = 0;
};

}  // namespace tavlo
