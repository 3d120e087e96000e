#pragma once
// The ggml models whisper.cpp publishes, by the names its download script
// uses: their file names, their sizes as published, and their SHA-1
// checksums. A model's file is "ggml-NAME.bin", both on the model host and in
// the model folder.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo {

// "ggml-NAME.bin".
inline std::string whisperModelFileName(std::string_view name) { return "ggml-" + std::string(name) + ".bin"; }

struct WhisperModel {
    std::string name;  // "base.en"
    // The published size, rounded as published (a gigabyte model to a tenth):
    // enough to show and to check free space against, not to check the file.
    std::uint64_t bytes = 0;
    std::string sha1;  // forty lower-case hexadecimal digits

    std::string fileName() const { return whisperModelFileName(name); }
    // Models for English alone carry ".en" in their name.
    bool englishOnly() const;
    bool operator==(const WhisperModel&) const = default;
};

// Whether a file is a model for English alone by its name ("ggml-base.en.bin").
bool isEnglishOnlyModelFile(std::string_view fileName);

using WhisperModelCatalogue = std::vector<WhisperModel>;

// The models offered, smallest first.
const WhisperModelCatalogue& publishedWhisperModels();

// A catalogue of the same shape from JSON, for another model host or a test:
// an array of {"name", "bytes", "sha1"} objects. Absent, with the reason in
// `problem`, when any entry does not read.
std::optional<WhisperModelCatalogue> whisperModelCatalogueFromJson(std::string_view text, std::string& problem);

const WhisperModel* findWhisperModel(const WhisperModelCatalogue& catalogue, std::string_view name);

// Letters, digits, '.', '-' and '_' (a name becomes part of a file name and
// of an address, so nothing else is taken).
bool isWhisperModelName(std::string_view name);

// The model offered first to someone with none: base.en for English, base
// for other languages (when the catalogue has them; else its first entry).
const WhisperModel* suggestedWhisperModel(const WhisperModelCatalogue& catalogue, std::string_view languageIdentifier);

// "75 MB", "142 MB", "1.5 GB", "3.2 MB", "512 KB" (units of 1024).
std::string byteSizeText(std::uint64_t bytes);

}  // namespace tavlo
