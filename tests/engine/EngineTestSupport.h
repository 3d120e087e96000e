#pragma once
// A dictation engine on the simulated platform with a virtual clock, and a
// delayed back end whose transcriptions the test completes by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/session/DelayedTranscriber.h"
#include "engine/DictationEngine.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimAudioFileWriter.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/sim/SimSpeechRecognizerService.h"
#include "platform/sim/SimTemporaryFiles.h"

namespace tavlo {

inline void PrintTo(const DictationResult& result, std::ostream* os) {
    if (result.isSuccess())
        *os << "success(\"" << result.text() << "\")";
    else
        *os << "failure(\"" << errorDescription(result.error()) << "\")";
}

}  // namespace tavlo

namespace tavlo::testing {

using namespace std::chrono_literals;

class ScriptedTranscriber final : public DelayedTranscriber {
public:
    struct Call {
        DelayedTranscriptionJob job;
        SessionCompletion completion;
    };

    bool hasLocalWhisper(const std::string& languageIdentifier) override {
        availabilityChecks.push_back(languageIdentifier);
        return localWhisperInstalled;
    }
    std::optional<DictationEngineError> localWhisperUnavailability(const std::string& languageIdentifier) override {
        if (hasLocalWhisper(languageIdentifier)) return std::nullopt;
        if (!unavailableReason.empty()) return DictationEngineError::localWhisperUnavailable(unavailableReason);
        return DictationEngineError::localWhisperUnavailable();
    }
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override {
        calls.push_back({std::move(job), completion});
    }
    void cancelSessionWork() override { ++cancelCount; }
    void prepareLocalWhisper(const std::string& languageIdentifier) override {
        prepared.push_back(languageIdentifier);
    }
    void shutdown() override { ++shutdownCount; }

    bool localWhisperInstalled = true;
    // Why local Whisper cannot run, when it cannot; empty: the reason is unknown.
    std::string unavailableReason;
    std::vector<std::string> availabilityChecks;
    std::vector<Call> calls;
    std::vector<std::string> prepared;
    int cancelCount = 0;
    int shutdownCount = 0;
};

// Members are public so that table rows can arrange the simulated platform.
class EngineTest : public ::testing::Test {
public:
    EngineTest() { makeEngine(); }

    void makeEngine() {
        engine = DictationEngine::create(
            {queue, speech, audio, files, temporary, transcriber, "en_GB"});
        engine->onPartial = [this](const std::string& text) { events.push_back("partial:" + text); };
        engine->onComplete = [this](const DictationResult& result) {
            completions.push_back(result);
            events.push_back(result.isSuccess() ? "complete:" + result.text()
                                                : "failed:" + errorDescription(result.error()));
        };
    }

    DictationStartOptions options(SpeechModel model) {
        DictationStartOptions o;
        o.model = model;
        return o;
    }
    void start(SpeechModel model) { engine->start(options(model)); }

    std::shared_ptr<SimRecognition> recognition() { return speech->latestRecognition(); }
    std::shared_ptr<SimAudioInputState> input() { return audio->latestInput(); }
    std::shared_ptr<SimAudioFile> file() { return files->latestFile(); }

    void run() { queue->runUntilIdle(); }
    void advance(MainQueue::Duration duration) { queue->advanceBy(duration); }

    std::vector<std::string> partials() const {
        std::vector<std::string> out;
        for (const std::string& e : events)
            if (e.rfind("partial:", 0) == 0) out.push_back(e.substr(8));
        return out;
    }

    std::shared_ptr<SimMainQueue> queue = std::make_shared<SimMainQueue>();
    std::shared_ptr<SimSpeechRecognizerService> speech = std::make_shared<SimSpeechRecognizerService>();
    std::shared_ptr<SimAudioCapture> audio = std::make_shared<SimAudioCapture>();
    std::shared_ptr<SimAudioFileWriter> files = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<SimTemporaryFiles> temporary = std::make_shared<SimTemporaryFiles>();
    std::shared_ptr<ScriptedTranscriber> transcriber = std::make_shared<ScriptedTranscriber>();
    std::shared_ptr<DictationEngine> engine;

    std::vector<DictationResult> completions;
    std::vector<std::string> events;  // partials and completions in delivery order
};

inline DictationResult success(std::string text) { return DictationResult::success(std::move(text)); }
inline DictationResult failure(EngineError error) { return DictationResult::failure(std::move(error)); }

}  // namespace tavlo::testing
