// Silence around a dictation, for real: the engine records (a file made from
// espeak-ng speech stands in for the microphone), the real trimmer cuts the
// silence, and the real back ends take over: local Whisper through real ffmpeg
// and the whisper-cli stand-in, the cloud through the real HTTP client and a
// local server. The padded speech gives the same text as the bare speech from
// a shorter file; a recording without speech reaches neither.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/cloud/CloudTestSupport.h"
#include "engine/session/DelayedBackEnds.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "engine/whisper/WhisperTestFiles.h"
#include "harness/PaddedSpeech.h"
#include "platform/linux/audio/SndfileSilenceTrimmer.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/sim/SimSilenceTrimmer.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

const char* const kSentence = "hello world, this is a dictation test";
constexpr double kPaddingSeconds = 3.0;

struct PaddingCase {
    const char* name;
    Padding padding;
};
const std::vector<PaddingCase> kSpeechPaddings{{"silence", Padding::silence}, {"low noise", Padding::whiteNoise}};
const std::vector<PaddingCase> kNoSpeech{{"silence", Padding::silence},
                                         {"low noise", Padding::whiteNoise},
                                         {"rumble", Padding::rumble}};

bool toolsMissing() {
    for (const char* program : {"/usr/bin/espeak-ng", "/usr/bin/sox", "/usr/bin/ffmpeg"})
        if (!fs::exists(program)) return true;
    return false;
}

bool wasRemoved(const SimTemporaryFiles& files, const fs::path& file) {
    const auto removed = files.removedFiles();
    return std::find(removed.begin(), removed.end(), file) != removed.end();
}

std::string outcome(const DictationResult& result) {
    return result.isSuccess() ? "text: " + result.text() : "error: " + errorDescription(result.error());
}

// Passes the engine's jobs on, noting the size of the recording each carries
// at the moment it is handed over.
class HandOverLog final : public DelayedTranscriber {
public:
    explicit HandOverLog(std::shared_ptr<DelayedTranscriber> inner) : inner_(std::move(inner)) {}
    bool hasLocalWhisper(const std::string& language) override { return inner_->hasLocalWhisper(language); }
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override {
        std::error_code ignored;
        sizes.push_back(job.audioFile ? fs::file_size(*job.audioFile, ignored) : 0);
        inner_->transcribe(std::move(job), std::move(completion));
    }
    void cancelSessionWork() override { inner_->cancelSessionWork(); }
    void prepareLocalWhisper(const std::string& language) override { inner_->prepareLocalWhisper(language); }
    void shutdown() override { inner_->shutdown(); }

    std::vector<std::uintmax_t> sizes;

private:
    std::shared_ptr<DelayedTranscriber> inner_;
};

class LocalWhisperSilence : public ::testing::Test {
protected:
    void SetUp() override {
        if (toolsMissing()) GTEST_SKIP() << "espeak-ng, sox and ffmpeg are needed";
        WhisperSearchLocations locations;
        locations.homeDirectory = scratch_.path() / "home";
        locations.whisperCliCandidates = {scratch_.path() / "bin/whisper-cli"};
        locations.ffmpegCandidates = {"/usr/bin/ffmpeg"};
        fs::create_directories(scratch_.path() / "bin");
        fs::create_symlink(std::string(TAVLO_STANDIN_DIR) + "/whisper-cli", scratch_.path() / "bin/whisper-cli");
        ScratchFolder::write(model(), "segment= Hello world, this is a dictation test.\n");

        LocalWhisperSettings settings;
        settings.mainQueue = queue_;
        settings.processLauncher = std::make_shared<PosixProcessLauncher>();
        settings.searchLocations = [locations] { return locations; };
        settings.temporaryDirectory = temporary_->temporaryDirectory();
        auto transcriber = LocalWhisperTranscriber::create(settings);
        handOver_ = std::make_shared<HandOverLog>(std::make_shared<DelayedBackEnds>(transcriber));
        DictationEnginePorts ports{queue_, std::make_shared<SimSpeechRecognizerService>(),
                                   std::make_shared<SimAudioCapture>(), audioFiles_, temporary_, handOver_, "en_US"};
        ports.silenceTrimmer = std::make_shared<SndfileSilenceTrimmer>();
        engine_ = DictationEngine::create(std::move(ports));
        engine_->onComplete = [this](const DictationResult& result) { results_.push_back(result); };
    }
    void TearDown() override {
        if (engine_) engine_->shutdown();
    }

    fs::path model() const { return scratch_.path() / "home/.cache/whisper.cpp/ggml-base.en.bin"; }
    std::size_t whisperRuns() const {
        const std::string calls = ScratchFolder::read(model().string() + ".calls");
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), '\n'));
    }

    // One dictation whose recording is `audio`; returns the outcome and
    // leaves the recording's path in `recording_`.
    std::string dictate(const fs::path& audio) {
        DictationStartOptions options;
        options.model = SpeechModel::localWhisper;
        engine_->start(options);
        recording_ = audioFiles_->latestFile()->path();
        fs::create_directories(recording_.parent_path());
        fs::copy_file(audio, recording_);
        const std::size_t before = results_.size();
        engine_->stopAndCommit();
        if (!queue_->runUntil([&] { return results_.size() > before; })) return "<no outcome>";
        return outcome(results_.back());
    }

    ScratchFolder scratch_;
    std::shared_ptr<PumpedMainQueue> queue_ = std::make_shared<PumpedMainQueue>();
    std::shared_ptr<SimTemporaryFiles> temporary_ = std::make_shared<SimTemporaryFiles>(scratch_.path() / "tmp");
    std::shared_ptr<SimAudioFileWriter> audioFiles_ = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<HandOverLog> handOver_;
    std::shared_ptr<DictationEngine> engine_;
    std::vector<DictationResult> results_;
    fs::path recording_;
};

TEST_F(LocalWhisperSilence, PaddedSpeechGivesTheBareSpeechsTextFromAShorterFile) {
    const fs::path bare = makePaddedSpeech(scratch_.path(), "bare", kSentence, Padding::none, 0, kDictationRecording);
    const std::string bareText = dictate(bare);
    EXPECT_EQ(bareText, "text: Hello world, this is a dictation test.");
    for (const PaddingCase& c : kSpeechPaddings) {
        SCOPED_TRACE(c.name);
        const fs::path padded = makePaddedSpeech(scratch_.path(), c.name, kSentence, c.padding, kPaddingSeconds, kDictationRecording);
        EXPECT_EQ(dictate(padded), bareText);
        ASSERT_FALSE(handOver_->sizes.empty());
        // Of the six seconds of padding, at most about one is handed over.
        EXPECT_LT(handOver_->sizes.back(), fs::file_size(bare) + fs::file_size(padded) / 6);
    }
}

TEST_F(LocalWhisperSilence, ARecordingWithoutSpeechEndsEmptyWithoutRunningWhisper) {
    for (const PaddingCase& c : kNoSpeech) {
        SCOPED_TRACE(c.name);
        const fs::path quiet = makePaddedSpeech(scratch_.path(), c.name, "", c.padding, kPaddingSeconds, kDictationRecording);
        EXPECT_EQ(dictate(quiet), "text: ");
        EXPECT_TRUE(handOver_->sizes.empty());
        EXPECT_EQ(whisperRuns(), 0u);
        EXPECT_TRUE(wasRemoved(*temporary_, recording_)) << "the recording is not kept";
    }
}

class CloudSilence : public CloudTest {
protected:
    void SetUp() override {
        if (toolsMissing()) GTEST_SKIP() << "espeak-ng, sox and ffmpeg are needed";
        useTrimmer(std::make_shared<SndfileSilenceTrimmer>());
    }
    void useTrimmer(std::shared_ptr<SilenceTrimmer> trimmer) {
        DictationEnginePorts ports{queue, std::make_shared<SimSpeechRecognizerService>(),
                                   std::make_shared<SimAudioCapture>(), audioFiles, temporary, relay, "en_US"};
        ports.silenceTrimmer = std::move(trimmer);
        engine = DictationEngine::create(std::move(ports));
        engine->onComplete = [this](const DictationResult& result) { completions.push_back(result); };
    }
    std::string upload(const fs::path& audio) {
        server.answerNext({200, R"({"text":"Hello world, this is a dictation test."})"});
        return outcome(dictate(ownKey(), ScratchFolder::read(audio)));
    }

    TemporaryDirectory audio;
    const RecordingForm form = kDictationRecording;
};

TEST_F(CloudSilence, PaddedSpeechGivesTheBareSpeechsTextFromAShorterUpload) {
    const fs::path bare = makePaddedSpeech(audio.path(), "bare", kSentence, Padding::none, 0, form);
    const std::string bareText = upload(bare);
    ASSERT_EQ(http->sent.size(), 1u);
    const std::size_t bareBody = http->sent.back().body.size();
    for (const PaddingCase& c : kSpeechPaddings) {
        SCOPED_TRACE(c.name);
        const fs::path padded = makePaddedSpeech(audio.path(), c.name, kSentence, c.padding, kPaddingSeconds, form);
        const std::size_t sentBefore = http->sent.size();
        EXPECT_EQ(upload(padded), bareText);
        ASSERT_EQ(http->sent.size(), sentBefore + 1);
        EXPECT_LT(http->sent.back().body.size(), bareBody + fs::file_size(padded) / 6);
    }
}

TEST_F(CloudSilence, ARecordingWithoutSpeechIsNeverUploaded) {
    for (const PaddingCase& c : kNoSpeech) {
        SCOPED_TRACE(c.name);
        const fs::path quiet = makePaddedSpeech(audio.path(), c.name, "", c.padding, kPaddingSeconds, form);
        EXPECT_EQ(outcome(dictate(ownKey(), ScratchFolder::read(quiet))), "text: ");
        EXPECT_TRUE(http->sent.empty());
        EXPECT_FALSE(relay->handedOver);
        EXPECT_TRUE(wasRemoved(*temporary, recording)) << "the recording is not kept";
    }
}

// A file the trimmer cannot read goes to the back end as it is, which says
// what is wrong with it; only a verdict of "no speech" stops a recording.
TEST_F(CloudSilence, OnlyAVerdictOfNoSpeechStopsTheUpload) {
    server.answerNext({200, R"({"text":"kept"})"});
    EXPECT_EQ(outcome(dictate(ownKey())), "text: kept");
    ASSERT_EQ(http->sent.size(), 1u);

    auto trimmer = std::make_shared<SimSilenceTrimmer>(SilenceTrimOutcome::noSpeech);
    useTrimmer(trimmer);
    EXPECT_EQ(outcome(dictate(ownKey())), "text: ");
    EXPECT_EQ(http->sent.size(), 1u);
    EXPECT_EQ(trimmer->recordings().size(), 1u);
}

}  // namespace
}  // namespace tavlo::testing
