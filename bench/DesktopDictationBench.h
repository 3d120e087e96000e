#pragma once
// What the whole-program dictation benchmarks share, whatever the desktop:
// the program's diagnostics log, the GTK entry's own reports of its text
// (stamped with the monotonic clock that std::chrono::steady_clock reads),
// the start tone as it comes out of the private sound server's speaker, and
// the two steps measured: from pressing the trigger to the start tone, and
// from releasing it to the text in the entry. Each desktop says how its
// trigger is pressed and released and how the entry is emptied.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "harness/PulseAudioServer.h"

namespace tavlo::bench {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The sentence spoken while the trigger is held.
inline const char* const spokenSentence = "hello world, this is a test";

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

inline std::int64_t monotonicNanoseconds(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

// The entry's last report in the output of the harness's gtk_text_field.py:
// its time stamp and its text as JSON ("\"\"" when empty).
inline std::pair<std::int64_t, std::string> lastEntryChange(const std::filesystem::path& report) {
    const std::string output = readFile(report);
    const std::size_t line = output.rfind("changed ");
    if (line == std::string::npos) return {0, {}};
    const std::size_t stampEnd = output.find(' ', line + 8);
    const std::size_t textEnd = output.find('\n', stampEnd);
    if (stampEnd == std::string::npos || textEnd == std::string::npos) return {0, {}};
    return {std::stoll(output.substr(line + 8, stampEnd - line - 8)),
            output.substr(stampEnd + 1, textEnd - stampEnd - 1)};
}

// Listens to the sound server's default output ("speaker", a null sink)
// through its monitor, in blocks of a millisecond, and notes when a block
// carries sound. The time noted is when the block was read: the sound left
// the program at most a block (and the monitor's own short delay) earlier.
class SpeakerListener {
public:
    SpeakerListener() {
        const pa_sample_spec toneFormat{PA_SAMPLE_S16LE, rate, 1};
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize = blockFrames * 2;
        int error = 0;
        stream_ = pa_simple_new(nullptr, "tavlo-bench", PA_STREAM_RECORD, "speaker.monitor", "tone listener",
                                &toneFormat, nullptr, &attributes, &error);
        if (!stream_) {
            error_ = std::string("cannot listen to the speaker: ") + pa_strerror(error);
            return;
        }
        reader_ = std::thread([this] { read(); });
    }
    ~SpeakerListener() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (stream_) pa_simple_free(stream_);
    }
    SpeakerListener(const SpeakerListener&) = delete;
    SpeakerListener& operator=(const SpeakerListener&) = delete;

    const std::string& error() const { return error_; }

    // The first block with sound read after `since`; waits up to `limit`.
    std::optional<Clock::time_point> soundAfter(Clock::time_point since, std::chrono::milliseconds limit) {
        std::optional<Clock::time_point> heard;
        waitFor(
            [&] {
                const std::lock_guard lock(mutex_);
                const auto found = std::find_if(loud_.begin(), loud_.end(), [&](auto time) { return time > since; });
                if (found != loud_.end()) heard = *found;
                return heard.has_value();
            },
            limit);
        return heard;
    }

private:
    static constexpr std::uint32_t rate = 48000;
    static constexpr std::size_t blockFrames = rate / 1000;
    // Well above the null sink's silence (exact zeros), well below a tone.
    static constexpr int loudness = 300;

    void read() {
        std::vector<std::int16_t> block(blockFrames);
        while (!stop_) {
            int error = 0;
            if (pa_simple_read(stream_, block.data(), block.size() * sizeof(std::int16_t), &error) < 0) return;
            const auto now = Clock::now();
            const bool loud = std::any_of(block.begin(), block.end(), [](std::int16_t s) { return std::abs(s) > loudness; });
            if (!loud) continue;
            const std::lock_guard lock(mutex_);
            loud_.push_back(now);
        }
    }

    pa_simple* stream_ = nullptr;
    std::string error_;
    std::atomic<bool> stop_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Clock::time_point> loud_;
};

// How a desktop's benchmark drives the running program.
class DictationDesktop {
public:
    virtual ~DictationDesktop() = default;
    // The program's diagnostics log as it is now.
    virtual std::string log() const = 0;
    // The log line each press of the trigger leaves.
    virtual std::string pressLine() const = 0;
    virtual void pressTrigger() = 0;
    virtual void releaseTrigger() = 0;
    // Empties the entry; false when it did not say so.
    virtual bool clearEntry() = 0;
    // Where the entry's reports go.
    virtual std::filesystem::path entryReport() const = 0;
};

// Waits until the dictation under way has ended completely, so the next
// press starts a new one (after the double-tap window too).
inline void waitForTheEnd(DictationDesktop& desktop, std::size_t completionsBefore) {
    waitFor([&] { return occurrences(desktop.log(), "record complete") > completionsBefore; }, 10s);
    std::this_thread::sleep_for(500ms);
}

// One press and release with nothing said; the time from the press to the
// start tone on the speaker.
inline std::optional<double> triggerToStartTone(DictationDesktop& desktop, SpeakerListener& speaker,
                                                std::string& failure) {
    const std::string before = desktop.log();
    const std::size_t completions = occurrences(before, "record complete");
    // Nothing left of the last dictation's tones.
    std::this_thread::sleep_for(300ms);
    const auto pressed = Clock::now();
    desktop.pressTrigger();
    const auto heard = speaker.soundAfter(pressed, 5s);
    std::this_thread::sleep_for(300ms);
    desktop.releaseTrigger();
    waitForTheEnd(desktop, completions);
    if (!heard) {
        failure = "no start tone was heard";
        return std::nullopt;
    }
    return std::chrono::duration<double>(*heard - pressed).count();
}

// One dictation of the spoken sentence; the time from the release to the
// entry's own report of its new text.
inline std::optional<double> releaseToText(DictationDesktop& desktop, testing::PulseAudioServer& sound,
                                           const std::filesystem::path& speech, std::string& failure) {
    if (!desktop.clearEntry()) {
        failure = "the entry could not be emptied; it holds " + lastEntryChange(desktop.entryReport()).second;
        return std::nullopt;
    }
    const std::string before = desktop.log();
    const std::size_t presses = occurrences(before, desktop.pressLine());
    const std::size_t completions = occurrences(before, "record complete");
    desktop.pressTrigger();
    if (!waitFor([&] { return occurrences(desktop.log(), desktop.pressLine()) > presses; }, 5s)) {
        desktop.releaseTrigger();
        failure = "the trigger was not noticed";
        return std::nullopt;
    }
    std::this_thread::sleep_for(300ms);
    sound.startPlaying(speech);
    sound.waitForPlayback();
    std::this_thread::sleep_for(300ms);
    const auto released = Clock::now();
    desktop.releaseTrigger();
    std::pair<std::int64_t, std::string> change;
    const bool arrived = waitFor(
        [&] {
            change = lastEntryChange(desktop.entryReport());
            return change.first > monotonicNanoseconds(released) && change.second != "\"\"";
        },
        10s);
    waitForTheEnd(desktop, completions);
    if (!arrived) {
        failure = "no text arrived in the entry";
        return std::nullopt;
    }
    return static_cast<double>(change.first - monotonicNanoseconds(released)) / 1e9;
}

// The release-to-text benchmark on a desktop `Session` (a DictationDesktop
// with `error`, `sound` and `speech`): one dictation first, which also loads
// the recogniser's model, then one timed dictation per iteration.
template <class Session>
void measureReleaseToText(benchmark::State& state) {
    Session session;
    if (!session.error.empty()) {
        state.SkipWithError(session.error.c_str());
        return;
    }
    std::string failure;
    releaseToText(session, *session.sound, session.speech, failure);
    for (auto _ : state) {
        const auto seconds = releaseToText(session, *session.sound, session.speech, failure);
        if (!seconds) {
            state.SkipWithError(failure.c_str());
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

// The trigger-to-start-tone benchmark on a desktop `Session`, after one
// untimed press that loads the recogniser's model.
template <class Session>
void measureTriggerToStartTone(benchmark::State& state) {
    Session session;
    if (!session.error.empty()) {
        state.SkipWithError(session.error.c_str());
        return;
    }
    SpeakerListener speaker;
    if (!speaker.error().empty()) {
        state.SkipWithError(speaker.error().c_str());
        return;
    }
    std::string failure;
    triggerToStartTone(session, speaker, failure);
    for (auto _ : state) {
        const auto seconds = triggerToStartTone(session, speaker, failure);
        if (!seconds) {
            state.SkipWithError(failure.c_str());
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

}  // namespace tavlo::bench
