// Transcribing a file: the engine's checks, the working copy and the job it
// hands to the delayed back end, on the simulated platform.
#include <gtest/gtest.h>

#include <regex>

#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

class FileTranscription : public EngineTest {
public:
    void transcribe(const fs::path& source, SpeechModel model,
                    std::optional<std::string> language = "de_DE") {
        engine->transcribeFile(source, model, language, "token", OpenAICloudMode::apiKey, "sk-key");
    }
};

TEST_F(FileTranscription, RefusesAtOnceWhatCannotTranscribeAFile) {
    transcriber->localWhisperInstalled = false;
    for (SpeechModel model : {SpeechModel::localWhisper, SpeechModel::appleOnDevice}) {
        try {
            transcribe("/music/interview.m4a", model);
            ADD_FAILURE() << "no refusal";
        } catch (const DictationEngineError& error) {
            EXPECT_EQ(error, DictationEngineError::localWhisperUnavailable());
            EXPECT_STREQ(error.what(),
                         "Local Whisper is not installed. Install whisper.cpp or the whisper CLI, or switch "
                         "back to Apple on-device Speech.");
        }
    }
    run();
    EXPECT_TRUE(temporary->copies().empty());
    EXPECT_TRUE(transcriber->calls.empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(FileTranscription, HandsAWorkingCopyToTheBackEndWithTheFileSettings) {
    struct Case {
        SpeechModel model;
        fs::path source;
        const char* copySuffix;
        const char* progress;
    };
    const Case cases[] = {
        {SpeechModel::localWhisper, "/music/interview.m4a", ".m4a", "Transcribing file locally with Whisper..."},
        {SpeechModel::openAICloud, "/music/Interview.WAV", ".WAV", "Transcribing file with OpenAI..."},
        {SpeechModel::openAICloud, "/music/voice memo", ".audio", "Transcribing file with OpenAI..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        transcriber->calls.clear();
        events.clear();
        const std::size_t copiesBefore = temporary->copies().size();
        transcribe(c.source, c.model);
        run();

        ASSERT_EQ(temporary->copies().size(), copiesBefore + 1);
        const auto [from, to] = temporary->copies().back();
        EXPECT_EQ(from, c.source);
        EXPECT_EQ(to.parent_path(), fs::path("/virtual/tmp/SorvelWhisper"));
        EXPECT_TRUE(std::regex_match(to.filename().string(),
                                     std::regex("file-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}" +
                                                std::regex_replace(std::string(c.copySuffix), std::regex("\\."),
                                                                   "\\."))))
            << to;

        ASSERT_EQ(transcriber->calls.size(), 1u);
        const DelayedTranscriptionJob& job = transcriber->calls[0].job;
        EXPECT_EQ(job.model, c.model);
        EXPECT_EQ(job.audioFile, to);
        EXPECT_EQ(job.languageIdentifier, "de_DE");
        EXPECT_TRUE(job.contextualStrings.empty());  // no dictionary prompt for files
        EXPECT_EQ(job.openAICloudMode, OpenAICloudMode::apiKey);
        EXPECT_EQ(job.openAIAPIKey, "sk-key");
        EXPECT_EQ(job.serviceAccessToken, "token");
        // The user's file is always converted, whatever its name says.
        EXPECT_FALSE(job.audioIsWhisperWav);
        EXPECT_EQ(partials(), std::vector<std::string>{c.progress});
    }
}

TEST_F(FileTranscription, DeliversTheBackEndsResultOnceAndWithoutALanguageUsesTheLocale) {
    transcribe("/music/interview.m4a", SpeechModel::localWhisper, std::nullopt);
    ASSERT_EQ(transcriber->calls.size(), 1u);
    EXPECT_EQ(transcriber->calls[0].job.languageIdentifier, "en_GB");
    transcriber->calls[0].completion.finish(success(""));
    transcriber->calls[0].completion.finish(success("again"));
    run();
    EXPECT_EQ(completions, std::vector<DictationResult>{success("")});
}

TEST_F(FileTranscription, FolderAndCopyFailuresAreThrownWithoutACompletion) {
    const PlatformError unreadable("posix", 13, "Could not read \"interview.m4a\": Permission denied.");
    temporary->setCopyError(unreadable);
    try {
        transcribe("/music/interview.m4a", SpeechModel::openAICloud);
        ADD_FAILURE() << "no failure";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error, unreadable);
    }
    temporary->setCopyError(std::nullopt);
    const PlatformError noFolder("posix", 28, "No space left on device.");
    temporary->setCreateError(noFolder);
    EXPECT_THROW(transcribe("/music/interview.m4a", SpeechModel::openAICloud), PlatformError);
    // The caller already has its answer: ending the program afterwards must
    // not report a second, empty outcome for the failed start.
    engine->shutdown();
    run();
    EXPECT_TRUE(transcriber->calls.empty());
    EXPECT_TRUE(completions.empty());
}

TEST_F(FileTranscription, CancelAbandonsTheFileSession) {
    transcribe("/music/interview.m4a", SpeechModel::openAICloud);
    ASSERT_EQ(transcriber->calls.size(), 1u);
    engine->cancel();
    transcriber->calls[0].completion.finish(success("too late"));
    run();
    EXPECT_EQ(transcriber->cancelCount, 1);
    EXPECT_EQ(completions, std::vector<DictationResult>{success("")});
}

}  // namespace
}  // namespace tavlo::testing
