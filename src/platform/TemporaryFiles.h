#pragma once
// The user's temporary directory, where recordings and other work files live.
#include <filesystem>

namespace tavlo {

class TemporaryFiles {
public:
    virtual ~TemporaryFiles() = default;
    virtual std::filesystem::path temporaryDirectory() const = 0;
    // Creates the folder with any missing parents. Throws PlatformError.
    virtual void createDirectories(const std::filesystem::path& folder) = 0;
    // Copies a file to a new work file (which must not exist yet). Throws
    // PlatformError; a partial copy is removed.
    virtual void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Deletes a work file; a missing file or a failure is ignored.
    virtual void removeFile(const std::filesystem::path& file) noexcept = 0;
};

}  // namespace tavlo
