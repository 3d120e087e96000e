#include "engine/whisper/WhisperModelCatalogue.h"

#include <cmath>
#include <cstdio>

#include "base/BoundedJson.h"
#include "engine/whisper/WhisperLanguage.h"

namespace tavlo {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

// From whisper.cpp's model list (models/README.md): disk size and SHA-1.
std::uint64_t mebibytes(double count) { return static_cast<std::uint64_t>(std::llround(count * MiB)); }

}  // namespace

bool WhisperModel::englishOnly() const {
    return name.size() >= 3 && (name.ends_with(".en") || name.find(".en-") != std::string::npos);
}

bool isEnglishOnlyModelFile(std::string_view fileName) {
    if (!fileName.starts_with("ggml-") || !fileName.ends_with(".bin") || fileName.size() <= 9) return false;
    return WhisperModel{std::string(fileName.substr(5, fileName.size() - 9))}.englishOnly();
}

const WhisperModelCatalogue& publishedWhisperModels() {
    static const WhisperModelCatalogue models{
        {"tiny", mebibytes(75), "bd577a113a864445d4c299885e0cb97d4ba92b5f"},
        {"tiny.en", mebibytes(75), "c78c86eb1a8faa21b369bcd33207cc90d64ae9df"},
        {"base", mebibytes(142), "465707469ff3a37a2b9b8d8f89f2f99de7299dac"},
        {"base.en", mebibytes(142), "137c40403d78fd54d454da0f9bd998f78703390c"},
        {"small", mebibytes(466), "55356645c2b361a969dfd0ef2c5a50d530afd8d5"},
        {"small.en", mebibytes(466), "db8a495a91d927739e50b3fc1cc4c6b8f6c2d022"},
        {"large-v3-turbo-q5_0", mebibytes(547), "e050f7970618a659205450ad97eb95a18d69c9ee"},
        {"medium", mebibytes(1.5 * 1024), "fd9727b6e1217c2f614f9b698455c4ffd82463b4"},
        {"medium.en", mebibytes(1.5 * 1024), "8c30f0e44ce9560643ebd10bbe50cd20eafd3723"},
        {"large-v3-turbo", mebibytes(1.5 * 1024), "4af2b29d7ec73d781377bfd1758ca957a807e941"},
        {"large-v3", mebibytes(2.9 * 1024), "ad82bf6a9043ceed055076d0fd39f5f186ff8062"},
    };
    return models;
}

bool isWhisperModelName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == '.' || name.front() == '-') return false;
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             c == '.' || c == '-' || c == '_';
        if (!allowed) return false;
    }
    return true;
}

std::optional<WhisperModelCatalogue> whisperModelCatalogueFromJson(std::string_view text, std::string& problem) {
    const auto document = parseBoundedJson(text, &problem);
    if (!document) return std::nullopt;
    if (!document->is_array()) {
        problem = "it is not a JSON array";
        return std::nullopt;
    }
    WhisperModelCatalogue catalogue;
    for (const auto& entry : *document) {
        const bool readable = entry.is_object() && entry.contains("name") && entry["name"].is_string() &&
                              entry.contains("bytes") && entry["bytes"].is_number_unsigned() &&
                              entry.contains("sha1") && entry["sha1"].is_string();
        if (!readable) {
            problem = "every entry needs \"name\", \"bytes\" and \"sha1\"";
            return std::nullopt;
        }
        WhisperModel model{entry["name"].get<std::string>(), entry["bytes"].get<std::uint64_t>(),
                           entry["sha1"].get<std::string>()};
        const bool hexDigits = model.sha1.size() == 40 && model.sha1.find_first_not_of("0123456789abcdef") ==
                                                              std::string::npos;
        if (!isWhisperModelName(model.name) || !hexDigits) {
            problem = "\"" + model.name.substr(0, 64) + "\" is not a model name with a SHA-1 checksum";
            return std::nullopt;
        }
        catalogue.push_back(std::move(model));
    }
    return catalogue;
}

const WhisperModel* findWhisperModel(const WhisperModelCatalogue& catalogue, std::string_view name) {
    for (const auto& model : catalogue)
        if (model.name == name) return &model;
    return nullptr;
}

const WhisperModel* suggestedWhisperModel(const WhisperModelCatalogue& catalogue, std::string_view languageIdentifier) {
    const bool english = localeLanguageCode(languageIdentifier) == "en";
    if (english)
        if (const auto* model = findWhisperModel(catalogue, "base.en")) return model;
    if (const auto* model = findWhisperModel(catalogue, "base")) return model;
    for (const auto& model : catalogue)
        if (english || !model.englishOnly()) return &model;
    return nullptr;
}

std::string byteSizeText(std::uint64_t bytes) {
    char text[32];
    const double value = static_cast<double>(bytes);
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else if (bytes < MiB) {
        std::snprintf(text, sizeof text, "%.0f KB", value / 1024);
    } else if (bytes < 10 * MiB) {
        std::snprintf(text, sizeof text, "%.1f MB", value / MiB);
    } else if (bytes < 1024 * MiB) {
        std::snprintf(text, sizeof text, "%.0f MB", value / MiB);
    } else {
        std::snprintf(text, sizeof text, "%.1f GB", value / (1024 * MiB));
    }
    return text;
}

}  // namespace tavlo
