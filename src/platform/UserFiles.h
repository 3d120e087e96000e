#pragma once
// Documents the program writes for the user (saved transcripts), and the
// folders they may go to.
#include <filesystem>
#include <optional>
#include <string_view>

namespace tavlo {

class UserFiles {
public:
    virtual ~UserFiles() = default;
    // Writes the text as the file's whole content, UTF-8, replacing it
    // atomically: a reader sees the old file or the new one, never a part.
    // Throws PlatformError.
    virtual void writeTextAtomically(const std::filesystem::path& file, std::string_view text) = 0;
    // Creates the folder and missing parents. Throws PlatformError.
    virtual void createDirectories(const std::filesystem::path& folder) = 0;
    // The user's documents folder; absent when the user has none.
    virtual std::optional<std::filesystem::path> documentsDirectory() const = 0;
    virtual std::filesystem::path temporaryDirectory() const = 0;
};

}  // namespace tavlo
