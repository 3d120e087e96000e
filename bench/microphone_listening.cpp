// Listening with the real microphone adapter and the on-device recogniser,
// against a private PulseAudio server whose virtual microphone receives
// espeak-ng's speech:
// - from start() returning to the first captured buffer (goal: 50 ms);
// - from the moment speech reaches the microphone to the first partial result
//   (goal: 300 ms), with the model already loaded, and once with the load;
// - processor time per second of listening to speech (goal: under 20 % of
//   one core), capture and recognition together.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "harness/PulseAudioServer.h"
#include "platform/linux/audio/PocketSphinxRecognizerService.h"
#include "platform/linux/audio/PulseAudioCapture.h"

namespace {

using namespace tavlo;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

testing::PulseAudioServer& server() {
    static testing::PulseAudioServer* started = new testing::PulseAudioServer();
    return *started;
}

bool ready(benchmark::State& state) {
    if (!testing::PulseAudioServer::missingPrograms().empty() || !server().running()) {
        state.SkipWithError("no private sound server");
        return false;
    }
    return true;
}

// Notes the first moment of something, from any thread.
class FirstMoment {
public:
    void mark() {
        std::lock_guard lock(mutex_);
        if (!at_) at_ = Clock::now();
        changed_.notify_all();  // under the lock: the waiter may destroy this once it returns
    }
    std::optional<Clock::time_point> wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [this] { return at_.has_value(); });
        return at_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> at_;
};

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double processorSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_FirstBufferAfterStart(benchmark::State& state) {
    if (!ready(state)) return;
    PulseAudioCapture capture;
    for (auto _ : state) {
        auto input = capture.makeInput();
        input->inputFormat();
        FirstMoment firstBuffer;
        input->installTap(1024, [&firstBuffer](const AudioBuffer&) { firstBuffer.mark(); });
        input->prepare();
        input->start();
        const auto started = Clock::now();
        const auto arrived = firstBuffer.wait(2s);
        input->stop();
        input->removeTap();
        if (!arrived) {
            state.SkipWithError("no buffer arrived");
            return;
        }
        state.SetIterationTime(seconds(*arrived - started));
    }
}
BENCHMARK(BM_FirstBufferAfterStart)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

// One dictation: silence, then speech; returns the time from the speech
// reaching the microphone to the first partial result.
std::optional<double> onsetToFirstPartial(PocketSphinxRecognizerService& service) {
    auto recognizer = service.makeRecognizer("en_US");
    auto request = recognizer->makeRequest({});
    FirstMoment firstPartial;
    auto task = recognizer->startTask(request, [&firstPartial](const auto& result, const auto&) {
        if (result && !result->isFinal && !result->formattedText.empty()) firstPartial.mark();
    });
    PulseAudioCapture capture;
    auto input = capture.makeInput();
    input->inputFormat();
    FirstMoment onset;
    input->installTap(1024, [request, &onset](const AudioBuffer& buffer) {
        for (float sample : buffer.samples)
            if (std::fabs(sample) > 0.02f) {
                onset.mark();
                break;
            }
        request->append(buffer);
    });
    const auto speech = server().speechFile("please write down this short note for me");
    input->start();
    std::this_thread::sleep_for(500ms);
    server().startPlaying(speech);
    const auto heard = onset.wait(5s);
    const auto partial = firstPartial.wait(10s);
    server().waitForPlayback();
    input->stop();
    input->removeTap();
    request->endAudio();
    task->cancel();
    if (!heard || !partial) return std::nullopt;
    return seconds(*partial - *heard);
}

void BM_SpeechOnsetToFirstPartial(benchmark::State& state) {
    if (!ready(state)) return;
    PocketSphinxRecognizerService service;
    // The first dictation of a run also loads the model.
    const auto cold = onsetToFirstPartial(service);
    for (auto _ : state) {
        const auto warm = onsetToFirstPartial(service);
        if (!warm) {
            state.SkipWithError("no partial result");
            return;
        }
        state.SetIterationTime(*warm);
    }
    state.counters["first_dictation_with_model_load_ms"] = cold ? *cold * 1000 : -1;
}
BENCHMARK(BM_SpeechOnsetToFirstPartial)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ListeningProcessorShare(benchmark::State& state) {
    if (!ready(state)) return;
    PocketSphinxRecognizerService service;
    onsetToFirstPartial(service);  // the model is loaded before measuring
    const auto speech = server().speechFile(
        "this is a longer stretch of speech so that the recogniser has real work to do while the microphone "
        "listens, sentence after sentence, for several seconds without a pause");
    for (auto _ : state) {
        auto recognizer = service.makeRecognizer("en_US");
        auto request = recognizer->makeRequest({});
        std::atomic<int> partials{0};
        auto task = recognizer->startTask(request, [&partials](const auto&, const auto&) { ++partials; });
        PulseAudioCapture capture;
        auto input = capture.makeInput();
        input->inputFormat();
        input->installTap(1024, [request](const AudioBuffer& buffer) { request->append(buffer); });
        const double processorBefore = processorSeconds();
        // This thread only waits for the player (checking on it every few
        // milliseconds); its time is the benchmark's, not the listening's.
        const double waitingBefore = processorSeconds(RUSAGE_THREAD);
        const auto before = Clock::now();
        input->start();
        server().startPlaying(speech);
        server().waitForPlayback();
        input->stop();
        input->removeTap();
        request->endAudio();
        const double wall = seconds(Clock::now() - before);
        const double processor = processorSeconds() - processorBefore;
        const double waiting = processorSeconds(RUSAGE_THREAD) - waitingBefore;
        task->cancel();
        state.SetIterationTime(wall);
        state.counters["processor_share_of_one_core_percent"] = 100.0 * (processor - waiting) / wall;
        state.counters["with_benchmark_waiting_percent"] = 100.0 * processor / wall;
        state.counters["listened_seconds"] = wall;
        state.counters["partials"] = partials.load();
    }
}
BENCHMARK(BM_ListeningProcessorShare)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
