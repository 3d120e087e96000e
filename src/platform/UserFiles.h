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
    // Writes the text (UTF-8) as a new file named `preferred`, or, when that
    // name is taken, the next free one ("NAME 2.txt", "NAME 3.txt", ...). An
    // existing file is never replaced and nothing is followed; the file
    // appears whole or not at all. Returns the path written. Throws
    // PlatformError.
    virtual std::filesystem::path writeNewTextFile(const std::filesystem::path& preferred, std::string_view text) = 0;
    // Creates the folder and missing parents. Throws PlatformError.
    virtual void createDirectories(const std::filesystem::path& folder) = 0;
    // The user's documents folder; absent when the user has none.
    virtual std::optional<std::filesystem::path> documentsDirectory() const = 0;
    virtual std::filesystem::path temporaryDirectory() const = 0;
};

}  // namespace tavlo
