#include "platform/linux/audio/PocketSphinxModel.h"

#include <system_error>

namespace tavlo {

PocketSphinxModel PocketSphinxModel::usEnglish() {
    const std::filesystem::path folder = "/usr/share/pocketsphinx/model/en-us";
    return {folder / "en-us", folder / "en-us.lm.bin", folder / "cmudict-en-us.dict", std::nullopt};
}

bool PocketSphinxModel::isInstalled() const {
    std::error_code error;
    const bool model = std::filesystem::is_directory(acousticModel, error) &&
                       std::filesystem::is_regular_file(acousticModel / "mdef", error) &&
                       std::filesystem::is_regular_file(dictionary, error);
    if (grammar) return model && std::filesystem::is_regular_file(*grammar, error);
    return model && std::filesystem::is_regular_file(languageModel, error);
}

}  // namespace tavlo
