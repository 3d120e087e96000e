#pragma once
// Secrets in a file only the user can read (mode 0600, in a folder of mode
// 0700), for machines where no Secret Service answers. The file is JSON:
// {"items": [{"service": ..., "account": ..., "secret": ...}]}. Folder and file
// permissions that are too wide are narrowed; a folder or file owned by someone
// else, or a symbolic link in their place, is refused.
#include <filesystem>
#include <functional>
#include <string>

#include "platform/SecretStore.h"

namespace tavlo {

class FileSecretStore : public SecretStore {
public:
    static constexpr const char* fileName = "secrets.json";
    using Reporter = std::function<void(const std::string& line)>;

    FileSecretStore(std::filesystem::path directory, Reporter report);

    std::optional<std::string> secret(const SecretIdentity& identity) override;
    bool replaceSecret(const SecretIdentity& identity, std::string_view secret) override;
    bool deleteSecret(const SecretIdentity& identity) override;

    const std::filesystem::path& path() const { return path_; }

private:
    const std::filesystem::path directory_;
    const std::filesystem::path path_;
    const Reporter report_;
};

}  // namespace tavlo
