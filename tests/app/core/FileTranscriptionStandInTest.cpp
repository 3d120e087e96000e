// File transcription for real: audio and video files made with espeak-ng and
// ffmpeg, converted by real ffmpeg, transcribed by the whisper-cli stand-in,
// the transcript saved on the real file system.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/core/AppDelegate.h"
#include "engine/session/DelayedBackEnds.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "engine/whisper/WhisperTestFiles.h"
#include "harness/PumpedMainQueue.h"
#include "harness/RunProgram.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/linux/files/SystemUserFiles.h"
#include "platform/sim/InMemoryPasteboard.h"
#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

void run(const std::string& program, const std::vector<std::string>& args) {
    const auto result = testing::runProgram(program, args);
    if (result.status != 0) ADD_FAILURE() << program << " failed: " << result.err;
}

// Source files shared by the suite: speech as M4A, WAV and a video with a
// sound track, silence, and a file that is not audio at all.
class SourceFiles {
public:
    SourceFiles() {
        const fs::path speechWav = folder_.path() / "speech-source.wav";
        run("/usr/bin/espeak-ng", {"-w", speechWav.string(), "hello world, this is a file transcription test"});
        ffmpeg({"-i", speechWav.string(), "-c:a", "aac", path("speech.m4a")});
        ffmpeg({"-i", speechWav.string(), "-ar", "44100", "-ac", "2", path("speech.wav")});
        ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=64x64:d=3", "-i", speechWav.string(), "-shortest", "-c:v",
                "mpeg4", "-c:a", "aac", path("clip.mp4")});
        ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=64x64:d=1", "-c:v", "mpeg4", "-an", path("mute.mp4")});
        run("/usr/bin/sox", {"-n", "-r", "44100", "-c", "1", "-b", "16", path("silence.wav"), "trim", "0", "1.5"});
        ScratchFolder::write(folder_.path() / "notes.m4a", "this is not audio at all");
    }
    fs::path file(const std::string& name) const { return folder_.path() / name; }

private:
    std::string path(const std::string& name) const { return (folder_.path() / name).string(); }
    static void ffmpeg(std::vector<std::string> args) {
        args.insert(args.begin(), {"-y", "-loglevel", "error"});
        run("/usr/bin/ffmpeg", args);
    }
    ScratchFolder folder_;
};

class FileTranscriptionStandIn : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sources_ = new SourceFiles; }
    static void TearDownTestSuite() {
        delete sources_;
        sources_ = nullptr;
    }

    FileTranscriptionStandIn() {
        host_.home = (scratch_.path() / "home").string();
        host_.variables["LANG"] = "en_US.UTF-8";
        fs::create_directories(bin());
        fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-cli", bin() / "whisper-cli");
        ScratchFolder::write(model(), "segment= Hello world, this is a file transcription test.\n");
        store_.setSpeechModel(SpeechModel::localWhisper);

        WhisperSearchLocations locations;
        locations.homeDirectory = host_.home;
        locations.whisperCliCandidates = {bin() / "whisper-cli"};
        locations.ffmpegCandidates = {"/usr/bin/ffmpeg"};
        LocalWhisperSettings local;
        local.mainQueue = queue_;
        local.processLauncher = launcher_;
        local.httpClient = http_;
        local.searchLocations = [locations] { return locations; };
        local.temporaryDirectory = temporary_->temporaryDirectory();
        DictationEnginePorts enginePorts;
        enginePorts.mainQueue = queue_;
        enginePorts.temporaryFiles = temporary_;
        enginePorts.delayedTranscriber =
            std::make_shared<DelayedBackEnds>(LocalWhisperTranscriber::create(std::move(local)));
        enginePorts.localeIdentifier = "en_US";
        engine_ = DictationEngine::create(std::move(enginePorts));

        AppDelegatePorts ports;
        ports.store = &store_;
        ports.dictationEngine = engine_;
        ports.mainQueue = queue_;
        ports.pasteboard = pasteboard_;
        ports.userFiles = std::make_shared<SystemUserFiles>(host_);
        ports.logDiagnostic = [this](std::string_view line) { log_.emplace_back(line); };
        controller_ = AppDelegate::create(std::move(ports));
    }
    ~FileTranscriptionStandIn() override { engine_->shutdown(); }

    fs::path bin() const { return scratch_.path() / "bin"; }
    fs::path model() const { return scratch_.path() / "home/.cache/whisper.cpp/ggml-base.en.bin"; }
    fs::path documents() const { return scratch_.path() / "home/Documents"; }
    fs::path workFolder() const { return temporary_->temporaryDirectory() / "SorvelWhisper"; }

    // Copies a shared source file into a folder of this test.
    fs::path place(const std::string& name, const fs::path& folder, const std::string& as = {}) {
        fs::create_directories(folder);
        const fs::path target = folder / (as.empty() ? name : as);
        fs::copy_file(sources_->file(name), target);
        return target;
    }

    FileTranscriptionResult transcribe(const fs::path& source) {
        std::optional<FileTranscriptionResult> result;
        controller_->transcribeFile(source, [&](const FileTranscriptionResult& r) { result = r; });
        EXPECT_TRUE(queue_->runUntil([&] { return result.has_value(); })) << "no result";
        return result.value_or(FileTranscriptionResult::failure(PlatformError("test", 0, "no result")));
    }

    // Every outcome leaves the source as it was and no working copy behind.
    void expectSourceUntouchedAndNoWorkFiles(const fs::path& source, const std::string& original) {
        EXPECT_EQ(ScratchFolder::read(source), original) << source;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(workFolder(), error))
            ADD_FAILURE() << "left behind: " << entry.path();
    }

    static inline SourceFiles* sources_ = nullptr;
    ScratchFolder scratch_;
    SimulatedHostEnvironment host_;
    InMemoryPreferenceStore preferences_;
    InMemorySecretStore secrets_;
    ManualWallClock clock_;
    SettingsStore store_{preferences_, secrets_, host_, clock_};
    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<PosixProcessLauncher> launcher_ = std::make_shared<PosixProcessLauncher>();
    std::shared_ptr<CurlHttpClient> http_ = std::make_shared<CurlHttpClient>();
    std::shared_ptr<SystemTemporaryFiles> temporary_ =
        std::make_shared<SystemTemporaryFiles>(scratch_.path() / "tmp dir ü");
    std::shared_ptr<InMemoryPasteboard> pasteboard_ = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<DictationEngine> engine_;
    std::shared_ptr<AppDelegate> controller_;
    std::vector<std::string> log_;
};

TEST_F(FileTranscriptionStandIn, AudioVideoAndWavFilesAreTranscribedAndSavedBesideThem) {
    const std::string expectedText = "Hello world, this is a file transcription test.";
    // The two "speech" files share a transcript name: the second takes the
    // next free one rather than replace the first.
    const std::pair<std::string, std::string> files[] = {{"speech.m4a", "speech-transcript.txt"},
                                                         {"clip.mp4", "clip-transcript.txt"},
                                                         {"speech.wav", "speech-transcript 2.txt"}};
    for (const auto& [name, transcriptName] : files) {
        SCOPED_TRACE(name);
        const fs::path source = place(name, scratch_.path() / "My Files");
        const std::string original = ScratchFolder::read(source);
        const FileTranscriptionResult result = transcribe(source);
        ASSERT_TRUE(result.isSuccess()) << errorDescription(result.error());
        const fs::path saved = source.parent_path() / transcriptName;
        EXPECT_EQ(result.output(), (FileTranscriptionOutput{source, saved, expectedText}));
        EXPECT_EQ(ScratchFolder::read(saved), expectedText);
        EXPECT_EQ(pasteboard_->string(), expectedText);
        EXPECT_EQ(store_.recent().front().appName, source.filename().string());
        expectSourceUntouchedAndNoWorkFiles(source, original);
    }
    EXPECT_TRUE(log_.empty());
}

TEST_F(FileTranscriptionStandIn, AnEarlierTranscriptIsKeptAndTheNewOneTakesTheNextName) {
    const fs::path folder = scratch_.path() / "shared";
    const fs::path source = place("speech.m4a", folder, "interview.m4a");
    ScratchFolder::write(folder / "interview-transcript.txt", "my edited notes");
    const FileTranscriptionResult result = transcribe(source);
    ASSERT_TRUE(result.isSuccess()) << errorDescription(result.error());
    EXPECT_EQ(result.output().outputURL, folder / "interview-transcript 2.txt");
    EXPECT_EQ(ScratchFolder::read(folder / "interview-transcript.txt"), "my edited notes");
    EXPECT_EQ(ScratchFolder::read(folder / "interview-transcript 2.txt").find("Hello world"), 0u);
}

TEST_F(FileTranscriptionStandIn, AReadOnlySourceFolderSendsTheTextFileToDocuments) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    const fs::path folder = scratch_.path() / "read-only";
    const fs::path source = place("speech.m4a", folder, "interview.m4a");
    ::chmod(folder.c_str(), 0555);
    const FileTranscriptionResult result = transcribe(source);
    ::chmod(folder.c_str(), 0755);
    ASSERT_TRUE(result.isSuccess()) << errorDescription(result.error());
    EXPECT_EQ(result.output().outputURL, documents() / "interview-transcript.txt");
    EXPECT_FALSE(fs::exists(folder / "interview-transcript.txt"));
}

TEST_F(FileTranscriptionStandIn, FailuresNameTheirCauseAndLeaveNothingBehind) {
    struct Case {
        const char* source;
        const char* message;
    };
    const Case cases[] = {
        // Silence: whisper reports a blank, which is no text.
        {"silence.wav", "File transcription returned no text."},
        // Not audio: ffmpeg refuses it, and says why.
        {"notes.m4a", "Invalid data found when processing input"},
        // A video without sound: about the file, not ffmpeg's streams or the
        // name of the private work copy.
        {"mute.mp4", "The file has no sound to transcribe."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const fs::path source = place(c.source, scratch_.path() / "in");
        const std::string original = ScratchFolder::read(source);
        const FileTranscriptionResult result = transcribe(source);
        ASSERT_FALSE(result.isSuccess());
        EXPECT_NE(errorDescription(result.error()).find(c.message), std::string::npos)
            << errorDescription(result.error());
        EXPECT_FALSE(fs::exists(source.parent_path() / (source.stem().string() + "-transcript.txt")));
        expectSourceUntouchedAndNoWorkFiles(source, original);
    }
    EXPECT_EQ(pasteboard_->changeCount(), 0);
}

TEST_F(FileTranscriptionStandIn, RefusalsBeforeAnyWork) {
    // A file that is not there: the copy fails at once.
    FileTranscriptionResult result = transcribe(scratch_.path() / "missing.m4a");
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(errorDescription(result.error()), "Could not read \"missing.m4a\": No such file or directory.");

    // Local Whisper is not ready: the reason, with what to do.
    const fs::path source = place("speech.m4a", scratch_.path() / "in");
    struct Case {
        const char* language;
        bool englishModel;
        const char* message;
    };
    const Case cases[] = {
        {"de_DE", true,
         "German needs a multilingual Whisper model: download base in Home, or run tavlo models download base."},
        {"en_US", false, "Local Whisper has no model yet: download base.en in Home, or run tavlo models download base.en."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        store_.setSpeechLanguageIdentifier(c.language);
        if (!c.englishModel) fs::remove(model());
        result = transcribe(source);
        ASSERT_FALSE(result.isSuccess());
        EXPECT_EQ(errorDescription(result.error()), c.message);
        EXPECT_EQ(log_.back(), std::string("present error=") + c.message);
        expectSourceUntouchedAndNoWorkFiles(source, ScratchFolder::read(sources_->file("speech.m4a")));
    }
}

}  // namespace
}  // namespace tavlo
