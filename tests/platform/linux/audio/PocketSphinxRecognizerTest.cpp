// The on-device recogniser with the installed US English model, fed with
// espeak-ng's speech.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

#include "platform/linux/audio/RecognitionTestSupport.h"
#include "harness/PaddedSpeech.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/audio/PocketSphinxDecoder.h"
#include "platform/linux/audio/PocketSphinxDecoderPool.h"
#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/PulseAudioCapture.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::RecognitionLog;

RecognitionRequestSettings settingsWithWords(std::vector<std::string> words) {
    RecognitionRequestSettings settings;
    settings.contextualStrings = std::move(words);
    return settings;
}

TEST(PocketSphinxRecognizerService, ServesEnglishLocalesOnly) {
    PocketSphinxRecognizerService service;
    for (const char* locale : {"en_US", "en-GB", "en", "EN_au", "en_US.UTF-8"})
        EXPECT_NE(service.makeRecognizer(locale), nullptr) << locale;
    for (const char* locale : {"de_DE", "fr", "", "eng", "es_US"})
        EXPECT_EQ(service.makeRecognizer(locale), nullptr) << locale;
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
}

TEST(PocketSphinxRecognizerService, AMissingModelIsNotAvailable) {
    PocketSphinxModel model = PocketSphinxModel::usEnglish();
    model.acousticModel = "/nonexistent/acoustic-model";
    PocketSphinxRecognizerService service(model);
    auto recognizer = service.makeRecognizer("en_US");
    ASSERT_NE(recognizer, nullptr);
    EXPECT_FALSE(recognizer->isAvailable());
}

class PocketSphinxRecognition : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PocketSphinxModel::usEnglish().isInstalled()) GTEST_SKIP() << "the US English model is not installed";
        if (testing::findProgram("espeak-ng").empty() || testing::findProgram("ffmpeg").empty())
            GTEST_SKIP() << "espeak-ng and ffmpeg are needed";
    }

    // A model whose language model knows only a few of its dictionary's
    // words, so that what the vocabulary hints add makes a difference that can
    // be heard. Both are small, so that they load quickly.
    PocketSphinxModel smallLanguageModel() {
        const auto lmPath = scratch_ / "small.lm";
        std::ofstream lm(lmPath);
        lm << "\\data\\\nngram 1=6\n\n\\1-grams:\n-0.78 </s>\n-99 <s>\n-0.78 open\n-0.78 close\n-0.78 the\n"
              "-0.78 door\n\n\\end\\\n";
        const auto dictionaryPath = scratch_ / "small.dict";
        std::ofstream dictionary(dictionaryPath);
        std::ifstream full(PocketSphinxModel::usEnglish().dictionary);
        const std::set<std::string> wanted = {"open", "close", "the", "door", "window"};
        for (std::string line; std::getline(full, line);)
            if (wanted.count(line.substr(0, line.find(' ')))) dictionary << line << "\n";
        PocketSphinxModel model = PocketSphinxModel::usEnglish();
        model.languageModel = lmPath;
        model.dictionary = dictionaryPath;
        return model;
    }

    PocketSphinxModel grammarModel() {
        const auto path = scratch_ / "commands.gram";
        std::ofstream grammar(path);
        grammar << "#JSGF V1.0;\ngrammar commands;\n"
                   "public <command> = (open | close) the (door | window) | turn (left | right);\n";
        PocketSphinxModel model = PocketSphinxModel::usEnglish();
        model.grammar = path;
        return model;
    }

    // Feeds `text` as speech and ends the audio; returns the final result.
    std::optional<RecognitionResult> recognise(SpeechRecognizer& recognizer, const std::string& text,
                                               const std::vector<std::string>& words = {},
                                               double leadingSilence = 0.0) {
        return recogniseBuffers(recognizer, testing::speechBuffers(text, scratch_.path(), leadingSilence), words);
    }

    std::optional<RecognitionResult> recogniseBuffers(SpeechRecognizer& recognizer,
                                                      const std::vector<AudioBuffer>& buffers,
                                                      const std::vector<std::string>& words = {},
                                                      std::vector<RecognitionResult>* partials = nullptr) {
        EXPECT_FALSE(buffers.empty());
        auto request = recognizer.makeRequest(settingsWithWords(words));
        RecognitionLog log;
        auto task = recognizer.startTask(request, log.handler());
        for (const AudioBuffer& buffer : buffers) request->append(buffer);
        request->endAudio();
        EXPECT_TRUE(log.waitForEnd());
        EXPECT_TRUE(log.errors().empty());
        if (partials) *partials = log.partials();
        return log.final();
    }

    testing::TemporaryDirectory scratch_;
};

TEST_F(PocketSphinxRecognition, AGrammarRecognisesItsExactWords) {
    PocketSphinxRecognizerService service(grammarModel());
    auto recognizer = service.makeRecognizer("en_US");
    ASSERT_TRUE(recognizer->isAvailable());
    // The second phrase reuses the decoder the first one loaded.
    for (const auto& [spoken, silence] : {std::pair{"close the window", 0.0}, std::pair{"turn left", 1.0}}) {
        const auto final = recognise(*recognizer, spoken, {}, silence);
        ASSERT_TRUE(final.has_value()) << spoken;
        EXPECT_TRUE(final->isFinal);
        EXPECT_EQ(final->formattedText, spoken);
        ASSERT_TRUE(final->firstSegmentTimestamp.has_value());
        // Timestamps count from the start of this request's audio.
        EXPECT_NEAR(*final->firstSegmentTimestamp, silence, 0.35) << spoken;
    }
}

TEST_F(PocketSphinxRecognition, VocabularyHintsTeachTheLanguageModelWordsTheDictionaryCanPronounce) {
    PocketSphinxDecoder decoder(smallLanguageModel());
    EXPECT_FALSE(decoder.languageModelKnows("window"));
    decoder.addVocabulary({"Window", "Zqxvbnmw", "door"});
    EXPECT_EQ(decoder.addedWords(), std::set<std::string>{"window"});
    EXPECT_TRUE(decoder.languageModelKnows("window"));
    EXPECT_FALSE(decoder.languageModelKnows("zqxvbnmw"));

    // Heard: without the hint the word cannot come out, with it it does.
    PocketSphinxRecognizerService service(smallLanguageModel());
    auto recognizer = service.makeRecognizer("en_US");
    const auto without = recognise(*recognizer, "open the window");
    ASSERT_TRUE(without.has_value());
    EXPECT_EQ(without->formattedText.find("window"), std::string::npos) << without->formattedText;
    const auto with = recognise(*recognizer, "open the window", {"WINDOW", "Zqxvbnmw"});
    ASSERT_TRUE(with.has_value());
    EXPECT_NE(with->formattedText.find("window"), std::string::npos) << with->formattedText;
    // A decoder that learned a word is not handed to a dictation without it.
    const auto afterwards = recognise(*recognizer, "open the window");
    ASSERT_TRUE(afterwards.has_value());
    EXPECT_EQ(afterwards->formattedText.find("window"), std::string::npos) << afterwards->formattedText;
}

TEST_F(PocketSphinxRecognition, SilenceAndNoiseMakeNoWordsAndTheWordsOfSpeechComeFromTheVoice) {
    if (testing::findProgram("sox").empty()) GTEST_SKIP() << "sox is needed";
    // The full language model, which makes words of anything it is given.
    // The decoder adapts to the voices it has heard, so times are compared
    // between first dictations of fresh recognisers.
    const auto firstDictation = [this](const std::vector<AudioBuffer>& buffers) {
        PocketSphinxRecognizerService fresh;
        return recogniseBuffers(*fresh.makeRecognizer("en_US"), buffers);
    };
    PocketSphinxRecognizerService service;
    auto recognizer = service.makeRecognizer("en_US");
    const std::string sentence = "hello world this is a test of the microphone";
    constexpr double padding = 3.0;
    const auto buffersOf = [this](const std::string& name, const std::string& spoken, testing::Padding around,
                                  double seconds) {
        return testing::fileBuffers(
            testing::makePaddedSpeech(scratch_.path(), name, spoken, around, seconds, testing::kDictationRecording),
            scratch_.path());
    };
    // However much silence there is around the speech, its words are heard
    // where the voice is, counted from the start of the audio. (The exact
    // words can differ: this model is so unsure of espeak-ng's voice that
    // starting 10 ms earlier or later can change one.)
    const auto shortSilence = firstDictation(buffersOf("short-silence", sentence, testing::Padding::silence, 1.0));
    const auto longSilence = firstDictation(buffersOf("long-silence", sentence, testing::Padding::silence, padding));
    ASSERT_TRUE(shortSilence.has_value() && longSilence.has_value());
    EXPECT_FALSE(shortSilence->formattedText.empty());
    EXPECT_FALSE(longSilence->formattedText.empty());
    ASSERT_TRUE(shortSilence->firstSegmentTimestamp.has_value() && longSilence->firstSegmentTimestamp.has_value());
    EXPECT_NEAR(*longSilence->firstSegmentTimestamp, *shortSilence->firstSegmentTimestamp + padding - 1.0, 0.05);

    const std::pair<const char*, testing::Padding> paddings[] = {{"silence", testing::Padding::silence},
                                                                 {"white noise", testing::Padding::whiteNoise},
                                                                 {"pink noise", testing::Padding::pinkNoise},
                                                                 {"rumble", testing::Padding::rumble}};
    for (const auto& [name, around] : paddings) {
        std::vector<RecognitionResult> partials;
        const auto nothing = recogniseBuffers(*recognizer, buffersOf("only", "", around, padding), {}, &partials);
        ASSERT_TRUE(nothing.has_value()) << name;
        EXPECT_EQ(nothing->formattedText, "") << name;
        EXPECT_TRUE(partials.empty()) << name << ": " << partials.front().formattedText;

        if (around == testing::Padding::silence) continue;
        // Noise right before the voice changes how the recogniser hears it,
        // but no word comes from the seconds of noise before it.
        const auto padded = recogniseBuffers(*recognizer, buffersOf("amid-noise", sentence, around, padding));
        ASSERT_TRUE(padded.has_value()) << name;
        EXPECT_FALSE(padded->formattedText.empty()) << name;
        ASSERT_TRUE(padded->firstSegmentTimestamp.has_value()) << name;
        EXPECT_GT(*padded->firstSegmentTimestamp, padding - 0.15) << name << ": " << padded->formattedText;
    }
}

TEST_F(PocketSphinxRecognition, CancelStopsDecodingPromptly) {
    PocketSphinxRecognizerService service;
    auto recognizer = service.makeRecognizer("en_US");
    auto request = recognizer->makeRequest({});
    RecognitionLog log;
    auto task = recognizer->startTask(request, log.handler());
    const auto speech = testing::speechBuffers(
        "a long sentence that keeps the recogniser busy for quite a while so that cancelling it has something to "
        "stop in the middle of its work",
        scratch_.path());
    for (int round = 0; round < 3; ++round)
        for (const AudioBuffer& buffer : speech) request->append(buffer);
    ASSERT_TRUE(log.waitForPartial(30s));  // the model has loaded and decoding runs
    const auto cancelled = Clock::now();
    task->cancel();
    ASSERT_TRUE(log.waitForEnd(5s));
    EXPECT_LT(Clock::now() - cancelled, 500ms);
    EXPECT_FALSE(log.final().has_value());
    EXPECT_EQ(log.errors().size(), 1u);
}

// A dictation cancelled and started again at once finds its decoder still
// finishing: the new one waits for it instead of loading the model a second
// time (which takes longer and holds the model twice in memory).
TEST_F(PocketSphinxRecognition, ADecoderStillInUseIsWaitedForRatherThanLoadedAgain) {
    PocketSphinxDecoderPool pool(grammarModel());
    auto first = pool.acquire({});
    const PocketSphinxDecoder* firstAddress = first.get();
    std::thread finishing([&] {
        std::this_thread::sleep_for(300ms);
        pool.release(std::move(first));
    });
    const auto asked = Clock::now();
    auto second = pool.acquire({});
    const auto waited = Clock::now() - asked;
    finishing.join();
    EXPECT_EQ(second.get(), firstAddress);
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, PocketSphinxDecoderPool::returnWait);

    // One that does not come back is waited for only so long.
    auto third = pool.acquire({});
    EXPECT_NE(third, nullptr);
    EXPECT_NE(third.get(), second.get());
}

TEST_F(PocketSphinxRecognition, ATaskKeepsRunningWhenItsRecognizerIsReleased) {
    PocketSphinxRecognizerService service(grammarModel());
    auto recognizer = service.makeRecognizer("en_US");
    auto request = recognizer->makeRequest({});
    RecognitionLog log;
    auto task = recognizer->startTask(request, log.handler());
    recognizer.reset();
    for (const AudioBuffer& buffer : testing::speechBuffers("open the door", scratch_.path())) request->append(buffer);
    request->endAudio();
    request->append(testing::speechBuffers("turn right", scratch_.path()).front());  // after the end: ignored
    ASSERT_TRUE(log.waitForEnd());
    ASSERT_TRUE(log.final().has_value());
    EXPECT_EQ(log.final()->formattedText, "open the door");
}

TEST_F(PocketSphinxRecognition, ALongDictationIsDecodedInUtterancesCutAtPausesAndKeepsEveryPhrase) {
    // The grammar takes one command per utterance, so the three commands are
    // all heard only when the decoder starts a new utterance in the pauses
    // (which bounds what it holds), and the text of the ended ones is kept.
    UtteranceLimits limits;
    limits.endAtPauseAfterSeconds = 1.0;
    limits.longestSeconds = 30;
    limits.pauseSeconds = 0.4;
    PocketSphinxRecognizerService service(grammarModel(), limits);
    auto recognizer = service.makeRecognizer("en_US");
    auto request = recognizer->makeRequest({});
    RecognitionLog log;
    auto task = recognizer->startTask(request, log.handler());
    for (const auto& [spoken, silence] :
         {std::pair{"close the window", 0.5}, std::pair{"turn left", 1.5}, std::pair{"open the door", 1.5}})
        for (const AudioBuffer& buffer : testing::speechBuffers(spoken, scratch_.path(), silence))
            request->append(buffer);
    request->endAudio();
    ASSERT_TRUE(log.waitForEnd());
    ASSERT_TRUE(log.final().has_value());
    EXPECT_EQ(log.final()->formattedText, "close the window turn left open the door");
    // The first word's time still counts from the start of all the audio.
    ASSERT_TRUE(log.final()->firstSegmentTimestamp.has_value());
    EXPECT_NEAR(*log.final()->firstSegmentTimestamp, 0.5, 0.35);
    // Partial texts grow through the cuts instead of starting again.
    const auto partials = log.partials();
    ASSERT_FALSE(partials.empty());
    EXPECT_EQ(partials.back().formattedText.rfind("close the window turn left", 0), 0u) << partials.back().formattedText;
}

// Live through the virtual microphone, as a dictation hears it.
class PocketSphinxLiveSerially : public testing::SoundServerSuite {};

TEST_F(PocketSphinxLiveSerially, PartialsFollowTheVoiceAndTheFinalComesAfterTheEndOfAudio) {
    if (!PocketSphinxModel::usEnglish().isInstalled()) GTEST_SKIP() << "the US English model is not installed";
    PocketSphinxRecognizerService service;
    auto recognizer = service.makeRecognizer("en_US");
    {
        // The model is loaded first (slow in checked builds on a busy
        // machine), as it is after a program's first dictation.
        auto warmUp = recognizer->makeRequest({});
        RecognitionLog warmUpLog;
        auto warmUpTask = recognizer->startTask(warmUp, warmUpLog.handler());
        warmUp->endAudio();
        ASSERT_TRUE(warmUpLog.waitForEnd(60s));
    }
    auto request = recognizer->makeRequest({});
    RecognitionLog log;
    auto task = recognizer->startTask(request, log.handler());
    PulseAudioCapture capture;
    auto input = capture.makeInput();
    ASSERT_EQ(input->inputFormat().channelCount, 1u);
    // The onset in the request's own audio: the frames before the voice is heard.
    std::atomic<std::size_t> framesBeforeVoice{0};
    std::atomic<bool> voiceHeard{false};
    input->installTap(1024, [&, request](const AudioBuffer& buffer) {
        request->append(buffer);
        if (voiceHeard) return;
        for (std::uint32_t frame = 0; frame < buffer.frameCount; ++frame) {
            if (std::fabs(buffer.samples[frame]) > 0.02f) {
                framesBeforeVoice += frame;
                voiceHeard = true;
                return;
            }
        }
        framesBeforeVoice += buffer.frameCount;
    });
    const double rate = input->inputFormat().sampleRate;
    const auto speech = server().speechFile("the quick brown fox jumps over the lazy dog and runs away");
    input->start();
    std::this_thread::sleep_for(1200ms);
    ASSERT_TRUE(server().startPlaying(speech));
    ASSERT_TRUE(server().waitForPlayback());
    const auto spoken = Clock::now();
    std::this_thread::sleep_for(300ms);
    input->stop();
    input->removeTap();
    request->endAudio();
    ASSERT_TRUE(log.waitForEnd());

    ASSERT_FALSE(log.partials().empty());
    EXPECT_LT(*log.firstPartialAt(), spoken) << "no partial result while the speech played";
    const auto final = log.final();
    ASSERT_TRUE(final.has_value());
    EXPECT_FALSE(final->formattedText.empty());
    ASSERT_TRUE(final->firstSegmentTimestamp.has_value());
    ASSERT_TRUE(voiceHeard);
    const double onsetSeconds = static_cast<double>(framesBeforeVoice) / rate;
    EXPECT_GT(onsetSeconds, 1.0);
    EXPECT_NEAR(*final->firstSegmentTimestamp, onsetSeconds, 0.3) << final->formattedText;
}

}  // namespace
}  // namespace tavlo
