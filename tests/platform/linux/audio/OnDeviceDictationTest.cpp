// A whole on-device dictation through the engine with the real microphone and
// recogniser: the capture thread, the recognition thread and the main queue
// working together (run under the race checker too).
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/linux/audio/AudioTestSupport.h"
#include "engine/DictationEngine.h"
#include "harness/PaddedSpeech.h"
#include "harness/PumpedMainQueue.h"
#include "platform/linux/audio/LinuxAudioServices.h"
#include "platform/linux/audio/PocketSphinxModel.h"
#include "platform/sim/SimTemporaryFiles.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

class OnDeviceDictationSerially : public testing::SoundServerSuite {
protected:
    void SetUp() override {
        SoundServerSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!PocketSphinxModel::usEnglish().isInstalled()) GTEST_SKIP() << "the US English model is not installed";
        LinuxAudioServices services = makeLinuxAudioServices();
        DictationEnginePorts ports;
        ports.mainQueue = queue_;
        ports.speechRecognizer = services.speechRecognizer;
        ports.audioCapture = services.audioCapture;
        ports.audioFileWriter = services.audioFileWriter;
        ports.temporaryFiles = std::make_shared<SimTemporaryFiles>(scratch_.path());
        engine_ = DictationEngine::create(ports);
        engine_->onPartial = [this](const std::string& text) { partials_.push_back(text); };
        engine_->onComplete = [this](const DictationResult& result) { results_.push_back(result); };
    }
    void TearDown() override {
        if (engine_) engine_->shutdown();
        if (queue_) pumpFor(500ms);
    }

    // Runs the main queue for a while.
    void pumpFor(std::chrono::milliseconds duration) {
        bool passed = false;
        queue_->postAfter(std::chrono::duration_cast<MainQueue::Duration>(duration), [&passed] { passed = true; });
        queue_->runUntil([&passed] { return passed; });
    }

    DictationStartOptions options(std::optional<std::string> microphone) {
        DictationStartOptions options;
        options.model = SpeechModel::appleOnDevice;
        options.languageIdentifier = "en_US";
        options.microphoneUniqueID = std::move(microphone);
        return options;
    }

    testing::TemporaryDirectory scratch_;
    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<DictationEngine> engine_;
    std::vector<std::string> partials_;
    std::vector<DictationResult> results_;
};

TEST_F(OnDeviceDictationSerially, SpeechBecomesTextWithAnUnknownMicrophoneFallingBackToTheDefault) {
    const auto speech = server().speechFile("hello world this is a dictation test");
    engine_->start(options("a-microphone-that-was-unplugged"));
    pumpFor(500ms);
    ASSERT_TRUE(server().startPlaying(speech));
    std::thread waiter([this] { server().waitForPlayback(); });
    queue_->runUntil([this] { return !partials_.empty(); }, std::chrono::seconds(20));
    waiter.join();
    pumpFor(300ms);
    engine_->stopAndCommit();
    ASSERT_TRUE(queue_->runUntil([this] { return !results_.empty(); }, std::chrono::seconds(20)));

    EXPECT_FALSE(partials_.empty());
    ASSERT_EQ(results_.size(), 1u);
    ASSERT_TRUE(results_[0].isSuccess());
    EXPECT_FALSE(results_[0].text().empty());
}

TEST_F(OnDeviceDictationSerially, CancellingWhileSpeakingEndsWithEmptyText) {
    const auto speech = server().speechFile("this dictation will be cancelled before it ends");
    engine_->start(options(std::nullopt));
    ASSERT_TRUE(server().startPlaying(speech));
    pumpFor(800ms);
    engine_->cancel();
    ASSERT_TRUE(queue_->runUntil([this] { return !results_.empty(); }, std::chrono::seconds(5)));
    server().waitForPlayback();
    pumpFor(500ms);
    ASSERT_EQ(results_.size(), 1u);
    ASSERT_TRUE(results_[0].isSuccess());
    EXPECT_EQ(results_[0].text(), "");
}

TEST_F(OnDeviceDictationSerially, ADictationOfOnlySilenceAndNoiseEndsWithNoText) {
    if (testing::findProgram("sox").empty()) GTEST_SKIP() << "sox is needed";
    // Two seconds of low hiss after the silence of the idle microphone.
    const auto noise = testing::makePaddedSpeech(scratch_.path(), "fan", "", testing::Padding::whiteNoise, 1.0,
                                                 testing::kDictationRecording);
    engine_->start(options(std::nullopt));
    pumpFor(1500ms);
    ASSERT_TRUE(server().startPlaying(noise));
    std::thread waiter([this] { server().waitForPlayback(); });
    pumpFor(2500ms);
    waiter.join();
    engine_->stopAndCommit();
    ASSERT_TRUE(queue_->runUntil([this] { return !results_.empty(); }, std::chrono::seconds(20)));

    for (const std::string& partial : partials_) EXPECT_EQ(partial, "");
    ASSERT_EQ(results_.size(), 1u);
    ASSERT_TRUE(results_[0].isSuccess());
    EXPECT_EQ(results_[0].text(), "");
}

TEST_F(OnDeviceDictationSerially, WithoutASoundServerThereIsNoMicrophoneInput) {
    const std::string saved = std::getenv("PULSE_SERVER");
    ::setenv("PULSE_SERVER", ("unix:" + (scratch_ / "no-server-here").string()).c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    try {
        engine_->start(options(std::nullopt));
        ADD_FAILURE() << "started without a sound server";
    } catch (const DictationEngineError& error) {
        EXPECT_EQ(error.errorCase(), DictationEngineError::Case::noInputAvailable);
        EXPECT_STREQ(error.what(), "No microphone input is available.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    ::setenv("PULSE_SERVER", saved.c_str(), 1);
}

}  // namespace
}  // namespace tavlo
