// Memory of a long on-device dictation: the engine with the real recogniser
// and recording writer, fed from a simulated microphone with espeak-ng's
// speech and pauses, faster than real time but never faster than the
// recogniser decodes (so no backlog piles up that a live microphone would not
// make). Reports the resident memory when ready to dictate (model loaded,
// one short dictation done), once per minute of audio, and after the
// dictation has ended. Goal: after a 10-minute dictation within 30 MB of the
// ready figure, and flat over it.
//
// TAVLO_BENCH_DICTATION_MINUTES shortens or lengthens the dictation (default
// 10); TAVLO_BENCH_UTTERANCE_SECONDS sets the length from which the
// recogniser cuts its utterance at the next pause (the hard limit is twice it),
// to compare what the cuts cost in memory and in words.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/DictationEngine.h"
#include "harness/PumpedMainQueue.h"
#include "harness/RunProgram.h"
#include "platform/linux/audio/PocketSphinxRecognition.h"
#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/sim/SimAudioCapture.h"

namespace {

namespace fs = std::filesystem;
using namespace tavlo;
using namespace std::chrono_literals;

constexpr double sampleRate = 48000;
constexpr std::uint32_t bufferFrames = 1024;
// Decoding may lag this many buffers (about 2 s) before feeding waits.
constexpr std::size_t allowedBacklog = 90;

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Speech and a pause, as 48 kHz mono float samples.
std::vector<float> spokenSentence(const fs::path& scratch) {
    const fs::path wav = scratch / "speech.wav", raw = scratch / "speech.f32";
    const bool made =
        testing::runProgram("/usr/bin/espeak-ng",
                            {"-v", "en-us", "-w", wav.string(),
                             "The quarterly report is finished and the numbers look good. Please send it to the "
                             "team before Friday and remind everyone about the review meeting next week."})
                .status == 0 &&
        testing::runProgram("/usr/bin/ffmpeg", {"-y", "-loglevel", "error", "-i", wav.string(), "-af", "apad=pad_dur=1.5",
                                                "-ar", "48000", "-ac", "1", "-f", "f32le", raw.string()})
                .status == 0;
    if (!made) return {};
    std::vector<float> samples(fs::file_size(raw) / sizeof(float));
    std::ifstream(raw, std::ios::binary).read(reinterpret_cast<char*>(samples.data()),
                                              static_cast<std::streamsize>(samples.size() * sizeof(float)));
    return samples;
}

// The real recogniser service, keeping the requests it makes so the feeder
// can see how far decoding lags.
class ObservedRecognizerService final : public SpeechRecognizerService {
public:
    explicit ObservedRecognizerService(UtteranceLimits limits)
        : inner_(std::make_shared<PocketSphinxRecognizerService>(PocketSphinxModel::usEnglish(), limits)) {
        inner_->warmUpInBackground();
    }

    SpeechAuthorizationStatus authorizationStatus() const override { return inner_->authorizationStatus(); }
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override {
        inner_->requestAuthorization(std::move(completion));
    }
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const std::string& localeIdentifier) override {
        auto inner = inner_->makeRecognizer(localeIdentifier);
        if (!inner) return nullptr;
        return std::make_unique<Recognizer>(std::move(inner), *this);
    }

    std::size_t backlog() {
        std::lock_guard lock(mutex_);
        auto request = std::dynamic_pointer_cast<PocketSphinxRequest>(latest_.lock());
        return request ? request->queuedBufferCount() : 0;
    }

private:
    class Recognizer final : public SpeechRecognizer {
    public:
        Recognizer(std::unique_ptr<SpeechRecognizer> inner, ObservedRecognizerService& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        bool isAvailable() const override { return inner_->isAvailable(); }
        bool supportsOnDeviceRecognition() const override { return inner_->supportsOnDeviceRecognition(); }
        std::shared_ptr<RecognitionRequest> makeRequest(const RecognitionRequestSettings& settings) override {
            auto request = inner_->makeRequest(settings);
            std::lock_guard lock(owner_.mutex_);
            owner_.latest_ = request;
            return request;
        }
        std::unique_ptr<RecognitionTask> startTask(std::shared_ptr<RecognitionRequest> request,
                                                   RecognitionHandler handler) override {
            return inner_->startTask(std::move(request), std::move(handler));
        }

    private:
        std::unique_ptr<SpeechRecognizer> inner_;
        ObservedRecognizerService& owner_;
    };

    std::shared_ptr<PocketSphinxRecognizerService> inner_;
    std::mutex mutex_;
    std::weak_ptr<RecognitionRequest> latest_;
};

class Dictation {
public:
    Dictation(std::vector<float> sentence, UtteranceLimits limits)
        : sentence_(std::move(sentence)), recognizer_(std::make_shared<ObservedRecognizerService>(limits)) {
        capture_->setInputFormat({sampleRate, 1});
        engine_ = DictationEngine::create({queue_, recognizer_, capture_, std::make_shared<SndfileAudioFileWriter>(),
                                           SystemTemporaryFiles::forThisProcess(), nullptr, "en_US"});
        engine_->onComplete = [this](const DictationResult& result) {
            text_ = result.isSuccess() ? result.text() : std::string();
            done_ = true;
        };
    }
    ~Dictation() { engine_->shutdown(); }

    // Dictates `seconds` of audio; `eachMinute` hears the minute of audio
    // just fed. Returns whether the final text arrived.
    bool run(double seconds, const std::function<void(int minute)>& eachMinute = {}) {
        DictationStartOptions options;
        options.model = SpeechModel::appleOnDevice;
        done_ = false;
        engine_->start(options);
        auto input = capture_->latestInput();
        const auto totalFrames = static_cast<std::size_t>(seconds * sampleRate);
        const auto minuteFrames = static_cast<std::size_t>(60 * sampleRate);
        AudioBuffer buffer;
        buffer.format = {sampleRate, 1};
        buffer.frameCount = bufferFrames;
        std::size_t position = 0;
        for (std::size_t fed = 0; fed < totalFrames; fed += bufferFrames) {
            buffer.samples.clear();
            for (std::uint32_t i = 0; i < bufferFrames; ++i) {
                buffer.samples.push_back(sentence_[position]);
                position = (position + 1) % sentence_.size();
            }
            input->deliver(buffer);
            while (recognizer_->backlog() > allowedBacklog) std::this_thread::sleep_for(5ms);
            if ((fed / bufferFrames) % 50 == 0) pump();
            if (eachMinute && (fed + bufferFrames) / minuteFrames != fed / minuteFrames)
                eachMinute(static_cast<int>((fed + bufferFrames) / minuteFrames));
        }
        engine_->stopAndCommit();
        return queue_->runUntil([this] { return done_; }, std::chrono::seconds(120));
    }

    const std::string& text() const { return text_; }

private:
    // Runs what the recogniser has posted so far (partial texts).
    void pump() {
        bool reached = false;
        queue_->post([&reached] { reached = true; });
        queue_->runUntil([&reached] { return reached; });
    }

    std::vector<float> sentence_;
    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<ObservedRecognizerService> recognizer_;
    std::shared_ptr<SimAudioCapture> capture_ = std::make_shared<SimAudioCapture>();
    std::shared_ptr<DictationEngine> engine_;
    std::string text_;
    bool done_ = false;
};

void BM_LongDictationMemory(benchmark::State& state) {
    const char* setting = std::getenv("TAVLO_BENCH_DICTATION_MINUTES");
    const double minutes = setting ? std::max(1.0, std::atof(setting)) : 10.0;
    char pattern[] = "/tmp/tavlo-memory-bench-XXXXXX";
    const fs::path scratch = ::mkdtemp(pattern);
    std::vector<float> sentence = spokenSentence(scratch);
    fs::remove_all(scratch);
    if (sentence.empty()) {
        state.SkipWithError("could not make speech (espeak-ng and ffmpeg are needed)");
        return;
    }
    UtteranceLimits limits;
    if (const char* utterance = std::getenv("TAVLO_BENCH_UTTERANCE_SECONDS")) {
        limits.endAtPauseAfterSeconds = std::max(1.0, std::atof(utterance));
        limits.longestSeconds = 2 * limits.endAtPauseAfterSeconds;
    }
    Dictation dictation(std::move(sentence), limits);
    for (auto _ : state) {
        // Ready to dictate: the model is loaded and one dictation has run.
        if (!dictation.run(10)) {
            state.SkipWithError("the short dictation did not end");
            return;
        }
        const double ready = residentMegabytes();
        std::fprintf(stderr, "ready to dictate: %.1f MB\n", ready);
        double highest = ready;
        double firstMinute = 0;
        double lastMinute = 0;
        const bool ended = dictation.run(minutes * 60, [&](int minute) {
            const double now = residentMegabytes();
            std::fprintf(stderr, "after minute %d: %.1f MB\n", minute, now);
            highest = std::max(highest, now);
            if (minute == 1) firstMinute = now;
            lastMinute = now;
        });
        if (!ended) {
            state.SkipWithError("the long dictation did not end");
            return;
        }
        const double after = residentMegabytes();
        std::size_t words = 0;
        for (std::size_t i = 0; i < dictation.text().size(); ++i)
            words += dictation.text()[i] != ' ' && (i == 0 || dictation.text()[i - 1] == ' ');
        std::fprintf(stderr, "after the dictation: %.1f MB, %zu words: %.300s...\n", after, words,
                     dictation.text().c_str());
        state.counters["ready_MB"] = ready;
        state.counters["highest_MB"] = highest;
        state.counters["growth_after_first_minute_MB"] = lastMinute - firstMinute;
        state.counters["after_MB"] = after;
        state.counters["after_minus_ready_MB"] = after - ready;
        state.counters["words"] = static_cast<double>(words);
    }
}
BENCHMARK(BM_LongDictationMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
