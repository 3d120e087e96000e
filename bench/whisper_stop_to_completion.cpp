// Stop-to-completion of a local Whisper dictation with the warm server: from
// stopAndCommit() to the engine's result, for a 10-second recording, with the
// real process and HTTP adapters and a stand-in server that answers at once
// (so what remains is this program's own work and the outside tools it
// drives; goal: 15 ms). The time is split into the ffmpeg conversion, the
// upload (request sent to reply received), the readiness probe, and the rest:
// the program's own overhead (main-queue hand-overs, file work, result
// handling). Dictations are recorded in the form Whisper reads, so nothing
// converts them; for comparison, a recording in the microphone's own form
// (48 kHz float) that real ffmpeg converts first, as files the user
// transcribes are. A third benchmark includes starting the server.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <mutex>

#include "harness/FreeLoopbackPort.h"
#include "engine/session/DelayedBackEnds.h"
#include "engine/DictationEngine.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "harness/PumpedMainQueue.h"
#include "harness/RunProgram.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimAudioFileWriter.h"
#include "platform/sim/SimSpeechRecognizerService.h"
#include "platform/sim/SimTemporaryFiles.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tavlo;

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// How long each outside step took, measured around the real adapters.
struct StepTimes {
    std::mutex mutex;
    Clock::duration ffmpeg{};
    Clock::duration upload{};
    Clock::duration probes{};
    void add(Clock::duration StepTimes::*step, Clock::duration d) {
        std::lock_guard lock(mutex);
        this->*step += d;
    }
    void reset() {
        std::lock_guard lock(mutex);
        ffmpeg = upload = probes = {};
    }
};

class TimedLauncher final : public ProcessLauncher {
public:
    TimedLauncher(std::shared_ptr<ProcessLauncher> inner, StepTimes& times) : inner_(std::move(inner)), times_(times) {}
    ProcessLaunch launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) override {
        if (fs::path(launchSpec.executable).filename() != "ffmpeg") return inner_->launch(launchSpec, std::move(onTermination));
        const auto started = Clock::now();
        return inner_->launch(launchSpec, [this, started, handler = std::move(onTermination)](const ProcessTermination& t) {
            times_.add(&StepTimes::ffmpeg, Clock::now() - started);
            if (handler) handler(t);
        });
    }

private:
    std::shared_ptr<ProcessLauncher> inner_;
    StepTimes& times_;
};

class TimedHttp final : public HttpClient {
public:
    TimedHttp(std::shared_ptr<HttpClient> inner, StepTimes& times) : inner_(std::move(inner)), times_(times) {}
    std::shared_ptr<HttpTask> dataTask(HttpRequest request, Completion completion) override {
        const auto step = request.method == "POST" ? &StepTimes::upload : &StepTimes::probes;
        const auto started = Clock::now();
        return inner_->dataTask(std::move(request), [this, step, started, completion](HttpResult result) {
            times_.add(step, Clock::now() - started);
            completion(std::move(result));
        });
    }

private:
    std::shared_ptr<HttpClient> inner_;
    StepTimes& times_;
};

using tavlo::testing::freeLoopbackPort;

// A home with a model, the stand-in server installed, and a 10-second
// recording in the engine's own format (16 kHz mono 16-bit WAVE) and in the
// microphone's (48 kHz float CAF).
class Setup {
public:
    Setup() {
        std::string pattern = (fs::temp_directory_path() / "tavlo-whisper-bench-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        const fs::path models = root_ / "home/.cache/whisper.cpp";
        fs::create_directories(models);
        std::ofstream(models / "ggml-base.en.bin") << "segment= The quarterly report is finished.\n"
                                                      "segment= Please send it to the team.\n";
        fs::create_directories(root_ / "bin");
        fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-server", root_ / "bin/whisper-server");

        const fs::path speech = root_ / "speech.wav";
        ok_ = run("/usr/bin/espeak-ng",
                  {"-w", speech.string(),
                   "The quarterly report is finished and the numbers look good. Please send it to the team "
                   "before Friday, and remind everyone about the review meeting next week."}) &&
              run("/usr/bin/ffmpeg", {"-y", "-loglevel", "error", "-i", speech.string(), "-af", "apad", "-t", "10",
                                      "-ar", "16000", "-ac", "1", "-c:a", "pcm_s16le", recording(true).string()}) &&
              run("/usr/bin/ffmpeg", {"-y", "-loglevel", "error", "-i", speech.string(), "-af", "apad", "-t", "10",
                                      "-ar", "48000", "-ac", "1", "-c:a", "pcm_f32le", recording(false).string()});
    }
    ~Setup() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    bool ok() const { return ok_; }
    fs::path recording(bool whisperForm) const {
        return root_ / (whisperForm ? "recording-10s.wav" : "recording-10s.caf");
    }
    WhisperSearchLocations locations() const {
        WhisperSearchLocations locations;
        locations.homeDirectory = root_ / "home";
        locations.whisperServerCandidates = {root_ / "bin/whisper-server"};
        locations.ffmpegCandidates = {"/usr/bin/ffmpeg"};
        return locations;
    }
    fs::path temporary() const { return root_ / "tmp"; }

private:
    static bool run(const std::string& program, const std::vector<std::string>& args) {
        return tavlo::testing::runProgram(program, args).status == 0;
    }
    fs::path root_;
    bool ok_ = false;
};

// Hands the back end a recording that still needs converting, as a file the
// user transcribes would be.
class AsUnconvertedRecording final : public DelayedTranscriber {
public:
    explicit AsUnconvertedRecording(std::shared_ptr<DelayedTranscriber> inner) : inner_(std::move(inner)) {}
    bool hasLocalWhisper(const std::string& language) override { return inner_->hasLocalWhisper(language); }
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override {
        job.audioIsWhisperWav = false;
        inner_->transcribe(std::move(job), std::move(completion));
    }
    void cancelSessionWork() override { inner_->cancelSessionWork(); }
    void prepareLocalWhisper(const std::string& language) override { inner_->prepareLocalWhisper(language); }
    void shutdown() override { inner_->shutdown(); }

private:
    std::shared_ptr<DelayedTranscriber> inner_;
};

class Dictations {
public:
    Dictations(const Setup& setup, bool whisperForm) : setup_(setup), whisperForm_(whisperForm) {
        LocalWhisperSettings settings;
        settings.mainQueue = queue_;
        settings.processLauncher = std::make_shared<TimedLauncher>(std::make_shared<PosixProcessLauncher>(), times);
        settings.httpClient = std::make_shared<TimedHttp>(std::make_shared<CurlHttpClient>(), times);
        settings.searchLocations = [locations = setup.locations()] { return locations; };
        settings.temporaryDirectory = setup.temporary();
        settings.serverPort = freeLoopbackPort();
        auto transcriber = LocalWhisperTranscriber::create(settings);
        std::shared_ptr<DelayedTranscriber> backEnds = std::make_shared<DelayedBackEnds>(transcriber);
        if (!whisperForm) backEnds = std::make_shared<AsUnconvertedRecording>(std::move(backEnds));
        engine_ = DictationEngine::create({queue_, std::make_shared<SimSpeechRecognizerService>(),
                                           std::make_shared<SimAudioCapture>(), files_,
                                           std::make_shared<SimTemporaryFiles>(setup.temporary()), backEnds,
                                           "en_US"});
        engine_->onComplete = [this](const DictationResult& result) {
            if (!measuring_) {  // the empty result of a cancel
                flushed_ = true;
                return;
            }
            finishedAt_ = Clock::now();
            succeeded_ = result.isSuccess() && !result.text().empty();
            done_ = true;
        };
    }
    ~Dictations() { engine_->shutdown(); }

    // Records (outside the measurement), then returns the time from stop to result.
    std::optional<Clock::duration> once() {
        DictationStartOptions options;
        options.model = SpeechModel::localWhisper;
        engine_->start(options);
        const fs::path recording = files_->latestFile()->path();
        fs::create_directories(recording.parent_path());
        fs::copy_file(setup_.recording(whisperForm_), recording, fs::copy_options::overwrite_existing);
        done_ = false;
        measuring_ = true;
        times.reset();
        const auto stopped = Clock::now();
        engine_->stopAndCommit();
        const bool finished = queue_->runUntil([this] { return done_; });
        measuring_ = false;
        if (!finished || !succeeded_) return std::nullopt;
        return finishedAt_ - stopped;
    }

    // Shutting down also cancels, which reports an empty result; wait for it.
    void stopServer() {
        flushed_ = false;
        engine_->shutdown();
        queue_->runUntil([this] { return flushed_; });
    }

    StepTimes times;

private:
    const Setup& setup_;
    const bool whisperForm_;
    std::shared_ptr<tavlo::testing::PumpedMainQueue> queue_ = std::make_shared<tavlo::testing::PumpedMainQueue>();
    std::shared_ptr<SimAudioFileWriter> files_ = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<DictationEngine> engine_;
    Clock::time_point finishedAt_;
    bool succeeded_ = false;
    bool done_ = false;
    bool measuring_ = false;
    bool flushed_ = false;
};

void measure(benchmark::State& state, bool warm, bool whisperForm = true) {
    Setup setup;
    if (!setup.ok()) {
        state.SkipWithError("could not make the 10-second recording (espeak-ng and ffmpeg are needed)");
        return;
    }
    Dictations dictations(setup, whisperForm);
    if (warm && !dictations.once()) {  // starts the server
        state.SkipWithError("the first dictation failed");
        return;
    }
    double total = 0, ffmpeg = 0, upload = 0, probes = 0;
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            dictations.stopServer();
            state.ResumeTiming();
        }
        const auto took = dictations.once();
        if (!took) {
            state.SkipWithError("a dictation failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        total += milliseconds(*took);
        ffmpeg += milliseconds(dictations.times.ffmpeg);
        upload += milliseconds(dictations.times.upload);
        probes += milliseconds(dictations.times.probes);
    }
    const auto average = benchmark::Counter::kAvgIterations;
    state.counters["total_ms"] = benchmark::Counter(total, average);
    state.counters["ffmpeg_ms"] = benchmark::Counter(ffmpeg, average);
    state.counters["upload_ms"] = benchmark::Counter(upload, average);
    state.counters["probe_ms"] = benchmark::Counter(probes, average);
    state.counters["own_ms"] = benchmark::Counter(total - ffmpeg - upload - probes, average);
}

// A dictation while the server is already warm: one probe, then the upload.
void BM_WarmServerDictation(benchmark::State& state) { measure(state, true); }
BENCHMARK(BM_WarmServerDictation)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The same with a recording that ffmpeg converts first (how dictations were
// handled before they were recorded in Whisper's form).
void BM_WarmServerConvertedRecording(benchmark::State& state) { measure(state, true, false); }
BENCHMARK(BM_WarmServerConvertedRecording)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The first dictation: the server is started and waited for (the stand-in
// loads instantly, so this shows the cost of the start and the readiness wait).
void BM_FirstDictationStartsServer(benchmark::State& state) { measure(state, false); }
BENCHMARK(BM_FirstDictationStartsServer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
