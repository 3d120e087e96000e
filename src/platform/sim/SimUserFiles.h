#pragma once
// User documents kept in memory, with folders that refuse writes, for tests
// of what the program saves and where.
#include <map>
#include <set>
#include <string>

#include "platform/PlatformError.h"
#include "platform/UserFiles.h"

namespace tavlo {

class SimUserFiles final : public UserFiles {
public:
    std::filesystem::path writeNewTextFile(const std::filesystem::path& preferred, std::string_view text) override {
        if (readOnlyFolders.count(preferred.parent_path()))
            throw PlatformError("posix", 13,
                                "Could not write \"" + preferred.filename().string() + "\": Permission denied.");
        std::filesystem::path file = preferred;
        for (int number = 2; files.count(file); ++number)
            file = preferred.parent_path() / (preferred.stem().string() + " " + std::to_string(number) +
                                              preferred.extension().string());
        files[file] = std::string(text);
        return file;
    }
    void createDirectories(const std::filesystem::path& folder) override { createdFolders.insert(folder); }
    std::optional<std::filesystem::path> documentsDirectory() const override { return documents; }
    std::filesystem::path temporaryDirectory() const override { return temporary; }

    std::map<std::filesystem::path, std::string> files;
    std::set<std::filesystem::path> readOnlyFolders;
    std::set<std::filesystem::path> createdFolders;
    std::optional<std::filesystem::path> documents = "/home/user/Documents";
    std::filesystem::path temporary = "/tmp";
};

}  // namespace tavlo
