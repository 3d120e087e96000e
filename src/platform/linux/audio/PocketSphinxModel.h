#pragma once
// Where the recogniser's model files are, and an optional grammar that
// replaces the general language model with a fixed set of sentences.
#include <filesystem>
#include <optional>

namespace tavlo {

struct PocketSphinxModel {
    std::filesystem::path acousticModel;  // folder
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;
    // A JSGF grammar to use instead of the language model (for fixed phrases).
    std::optional<std::filesystem::path> grammar;

    // US English as the distribution installs it.
    static PocketSphinxModel usEnglish();
    bool isInstalled() const;
};

}  // namespace tavlo
