#include "app/cli/ModelCatalogueFile.h"

#include <fstream>
#include <iterator>

namespace tavlo {
namespace {

// A catalogue lists a few dozen models at most.
constexpr std::size_t maximumCatalogueBytes = 1 << 20;

}  // namespace

std::optional<WhisperModelCatalogue> whisperModelCatalogue(const HostEnvironment& host, std::string& problem) {
    const auto path = host.variable("TAVLO_WHISPER_MODEL_CATALOGUE");
    if (!path || path->empty()) return publishedWhisperModels();
    std::ifstream file(*path, std::ios::binary);
    std::string text;
    if (file) {
        text.resize(maximumCatalogueBytes + 1);
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
    }
    if (!file && !file.eof()) {
        problem = "the model catalogue " + *path + " cannot be read";
        return std::nullopt;
    }
    if (text.size() > maximumCatalogueBytes) {
        problem = "the model catalogue " + *path + " is larger than a megabyte";
        return std::nullopt;
    }
    std::string reason;
    auto catalogue = whisperModelCatalogueFromJson(text, reason);
    if (!catalogue) problem = "the model catalogue " + *path + " does not read: " + reason;
    return catalogue;
}

}  // namespace tavlo
