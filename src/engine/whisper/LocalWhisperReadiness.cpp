#include "engine/whisper/LocalWhisperReadiness.h"

#include <system_error>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "engine/whisper/WhisperLanguage.h"
#include "engine/whisper/WhisperModelCatalogue.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

// Whether a model folder holds a model for English alone ("ggml-base.en.bin").
bool hasEnglishOnlyModel(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (isEnglishOnlyModelFile(entry->path().filename().string())) return true;
    return false;
}

std::string modelToDownload(std::string_view languageIdentifier) {
    const auto* model = suggestedWhisperModel(publishedWhisperModels(), languageIdentifier);
    return model ? model->name : "base";
}

}  // namespace

std::optional<LocalWhisperGap> localWhisperGap(const WhisperSearchLocations& locations,
                                               std::string_view languageIdentifier) {
    if (chooseLocalWhisperBackend(locations, languageIdentifier)) return std::nullopt;
    if (!firstExecutable(locations.whisperServerCandidates) && !firstExecutable(locations.whisperCliCandidates))
        return LocalWhisperGap::noWhisperProgram;
    if (!firstExecutable(locations.ffmpegCandidates)) return LocalWhisperGap::noFfmpeg;
    if (localeLanguageCode(languageIdentifier) != "en")
        for (const auto& folder : locations.modelFolders())
            if (hasEnglishOnlyModel(folder)) return LocalWhisperGap::onlyEnglishModels;
    return LocalWhisperGap::noModel;
}

std::string englishLanguageName(std::string_view languageIdentifier) {
    const auto code = localeLanguageCode(languageIdentifier);
    if (!code) return std::string(languageIdentifier);
    icu::UnicodeString name;
    icu::Locale(code->c_str()).getDisplayLanguage(icu::Locale::getEnglish(), name);
    std::string text;
    name.toUTF8String(text);
    return text.empty() ? *code : text;
}

std::string localWhisperGapMessage(LocalWhisperGap gap, std::string_view languageIdentifier) {
    const std::string download = " in Home, or run tavlo models download ";
    switch (gap) {
    case LocalWhisperGap::noWhisperProgram:
        return "Local Whisper needs whisper.cpp: install its whisper-server or whisper-cli program (the README shows "
               "how).";
    case LocalWhisperGap::noFfmpeg:
        return "Local Whisper needs ffmpeg: install it with your distribution's package manager.";
    case LocalWhisperGap::noModel: {
        const std::string model = modelToDownload(languageIdentifier);
        return "Local Whisper has no model yet: download " + model + download + model + ".";
    }
    case LocalWhisperGap::onlyEnglishModels: {
        const std::string model = modelToDownload(languageIdentifier);
        // ICU gives back the bare code for a language it cannot name.
        const auto code = localeLanguageCode(languageIdentifier);
        const std::string language = englishLanguageName(languageIdentifier);
        const std::string who = !code || language == *code ? "This language" : language;
        return who + " needs a multilingual Whisper model: download " + model + download + model + ".";
    }
    }
    return {};
}

DictationEngineError localWhisperUnavailable(LocalWhisperGap gap, std::string_view languageIdentifier) {
    return DictationEngineError::localWhisperUnavailable(localWhisperGapMessage(gap, languageIdentifier));
}

}  // namespace tavlo
