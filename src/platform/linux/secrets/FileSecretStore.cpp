#include "platform/linux/secrets/FileSecretStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/linux/files/AtomicFile.h"
#include "base/BoundedJson.h"

namespace tavlo {
namespace {

using Json = nlohmann::json;

struct Item {
    std::string service;
    std::string account;
    std::string secret;
};

enum class Load { ok, missing, refused };

// The folder must be ours and a real folder; too wide permissions are narrowed.
bool securedFolder(const std::filesystem::path& directory, bool create) {
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) {
        if (errno != ENOENT || !create) return false;
        std::string error;
        if (!ensureDirectory(directory.parent_path(), 0700, error)) return false;
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (::lstat(directory.c_str(), &info) != 0) return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) return false;
    if ((info.st_mode & 077) != 0 && ::chmod(directory.c_str(), 0700) != 0) return false;
    return true;
}

bool isTextItem(const Json& item) {
    return item.is_object() && item.contains("service") && item["service"].is_string() &&
           item.contains("account") && item["account"].is_string() && item.contains("secret") &&
           item["secret"].is_string();
}

}  // namespace

FileSecretStore::FileSecretStore(std::filesystem::path directory, Reporter report)
    : directory_(std::move(directory)), path_(directory_ / fileName), report_(std::move(report)) {}

namespace {

Load loadItems(const std::filesystem::path& directory, const std::filesystem::path& path,
               const FileSecretStore::Reporter& report, std::vector<Item>& items) {
    items.clear();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? Load::missing : Load::refused;
    if (!securedFolder(directory, false)) return Load::refused;
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) return Load::refused;
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0600) != 0) return Load::refused;

    const FileRead read = readWholeFile(path, /*noFollow=*/true);
    if (read.status == FileRead::Status::missing) return Load::missing;
    if (read.status != FileRead::Status::ok) return Load::refused;
    try {
        const auto parsed = parseBoundedJson(read.contents);
        if (!parsed) throw Json::other_error::create(501, "not JSON within bounds", nullptr);
        const Json& document = *parsed;
        for (const Json& item : document.at("items")) {
            if (!isTextItem(item)) throw Json::other_error::create(501, "bad item", &item);
            items.push_back(Item{item["service"].get<std::string>(), item["account"].get<std::string>(),
                                 item["secret"].get<std::string>()});
        }
        return Load::ok;
    } catch (const Json::exception&) {
        // Keep the damaged file for the user; the secrets read as missing.
        std::string error;
        if (const auto keptAs = keepAside(path, error)) {
            report("the secrets file " + path.string() + " could not be read; it was kept as " +
                   keptAs->string());
            items.clear();
            return Load::missing;
        }
        return Load::refused;
    }
}

bool saveItems(const std::filesystem::path& directory, const std::filesystem::path& path,
               const std::vector<Item>& items) {
    if (!securedFolder(directory, true)) return false;
    Json list = Json::array();
    for (const Item& item : items)
        list.push_back(Json{{"service", item.service}, {"account", item.account}, {"secret", item.secret}});
    std::string text;
    try {
        text = Json{{"items", list}}.dump(2) + "\n";
    } catch (const Json::exception&) {
        return false;  // not UTF-8
    }
    return replaceFileAtomically(path, text).ok;
}

auto matching(const SecretIdentity& identity) {
    return [&identity](const Item& item) {
        return item.service == identity.service && item.account == identity.account;
    };
}

}  // namespace

std::optional<std::string> FileSecretStore::secret(const SecretIdentity& identity) {
    std::vector<Item> items;
    if (loadItems(directory_, path_, report_, items) != Load::ok) return std::nullopt;
    const auto found = std::find_if(items.begin(), items.end(), matching(identity));
    if (found == items.end()) return std::nullopt;
    return found->secret;
}

bool FileSecretStore::replaceSecret(const SecretIdentity& identity, std::string_view secret) {
    std::vector<Item> items;
    if (loadItems(directory_, path_, report_, items) == Load::refused) return false;
    const auto found = std::find_if(items.begin(), items.end(), matching(identity));
    if (found != items.end())
        found->secret = std::string(secret);
    else
        items.push_back(Item{identity.service, identity.account, std::string(secret)});
    return saveItems(directory_, path_, items);
}

bool FileSecretStore::deleteSecret(const SecretIdentity& identity) {
    std::vector<Item> items;
    const Load load = loadItems(directory_, path_, report_, items);
    if (load == Load::missing) return true;
    if (load == Load::refused) return false;
    const auto removed = std::erase_if(items, matching(identity));
    if (removed == 0) return true;
    if (items.empty()) return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
    return saveItems(directory_, path_, items);
}

}  // namespace tavlo
