#include "platform/linux/audio/PocketSphinxRecognizerService.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <list>
#include <mutex>
#include <thread>

#include "platform/linux/audio/FreedMemoryReturn.h"
#include "platform/linux/audio/PocketSphinxDecoderPool.h"
#include "platform/linux/audio/PocketSphinxRecognition.h"

namespace tavlo {

// What recognisers and tasks share with the service. Its threads hold only
// what they decode with, never this, so the last owner can always wait for them.
struct PocketSphinxRecognizerService::Shared {
    struct Running {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> cancelled;
        std::shared_ptr<PocketSphinxRequest> request;
        std::shared_ptr<std::atomic<bool>> done;
    };

    Shared(PocketSphinxModel model, UtteranceLimits limits)
        : pool(std::make_shared<PocketSphinxDecoderPool>(std::move(model))),
          available(pool->model().isInstalled()),
          limits(limits) {}

    ~Shared() {
        std::list<Running> all;
        {
            std::lock_guard lock(mutex);
            all.swap(running);
        }
        for (Running& task : all) {
            task.cancelled->store(true);
            task.request->interrupt();
        }
        for (Running& task : all) task.thread.join();
        if (warmUp.joinable()) warmUp.join();
    }

    void start(std::shared_ptr<PocketSphinxRequest> request, RecognitionHandler handler,
               std::shared_ptr<std::atomic<bool>> cancelled) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::list<Running> finished;
        std::lock_guard lock(mutex);
        // Threads that have ended are joined as new ones start.
        for (auto it = running.begin(); it != running.end();) {
            auto next = std::next(it);
            if (it->done->load()) finished.splice(finished.end(), running, it);
            it = next;
        }
        std::thread thread([pool = pool, limits = limits, request, handler = std::move(handler), cancelled, done] {
            runPocketSphinxRecognition(*pool, *request, handler, *cancelled, limits);
            // The dictation is over: what it used is given back.
            returnFreedMemoryToSystem();
            done->store(true);
        });
        running.push_back({std::move(thread), cancelled, request, done});
        for (Running& task : finished) task.thread.join();
    }

    std::shared_ptr<PocketSphinxDecoderPool> pool;
    const bool available;
    const UtteranceLimits limits;
    std::mutex mutex;
    std::list<Running> running;
    std::thread warmUp;
};

namespace {

class PocketSphinxTask final : public RecognitionTask {
public:
    PocketSphinxTask(std::shared_ptr<std::atomic<bool>> cancelled, std::shared_ptr<PocketSphinxRequest> request)
        : cancelled_(std::move(cancelled)), request_(std::move(request)) {}

    void cancel() override {
        cancelled_->store(true);
        request_->interrupt();
    }

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
    std::shared_ptr<PocketSphinxRequest> request_;
};

class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    explicit PocketSphinxRecognizer(std::shared_ptr<PocketSphinxRecognizerService::Shared> shared)
        : shared_(std::move(shared)) {}

    bool isAvailable() const override { return shared_->available; }
    bool supportsOnDeviceRecognition() const override { return true; }

    std::shared_ptr<RecognitionRequest> makeRequest(const RecognitionRequestSettings& settings) override {
        // Punctuation cannot be asked of this recogniser; the text pipeline
        // capitalises and closes sentences.
        return std::make_shared<PocketSphinxRequest>(settings);
    }

    std::unique_ptr<RecognitionTask> startTask(std::shared_ptr<RecognitionRequest> request,
                                               RecognitionHandler handler) override {
        auto ownRequest = std::dynamic_pointer_cast<PocketSphinxRequest>(request);
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        if (!ownRequest) {
            // A request of another recogniser: nothing to decode.
            if (handler)
                handler(std::nullopt, PlatformError("pocketsphinx", 3, "The recognition request is not supported."));
            ownRequest = std::make_shared<PocketSphinxRequest>(RecognitionRequestSettings{});
            return std::make_unique<PocketSphinxTask>(cancelled, ownRequest);
        }
        if (!handler) handler = [](const auto&, const auto&) {};
        shared_->start(ownRequest, std::move(handler), cancelled);
        return std::make_unique<PocketSphinxTask>(cancelled, ownRequest);
    }

private:
    std::shared_ptr<PocketSphinxRecognizerService::Shared> shared_;
};

}  // namespace

PocketSphinxRecognizerService::PocketSphinxRecognizerService(PocketSphinxModel model, UtteranceLimits limits)
    : shared_(std::make_shared<Shared>(std::move(model), limits)) {}

PocketSphinxRecognizerService::~PocketSphinxRecognizerService() = default;

void PocketSphinxRecognizerService::requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) {
    if (completion) completion(SpeechAuthorizationStatus::authorized);
}

bool PocketSphinxRecognizerService::servesLocale(const std::string& localeIdentifier) {
    // "en", "en_US", "en-GB", "en_US.UTF-8": the language is what comes first.
    const std::size_t end = localeIdentifier.find_first_of("_-.@");
    std::string language = localeIdentifier.substr(0, end);
    std::transform(language.begin(), language.end(), language.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return language == "en";
}

std::unique_ptr<SpeechRecognizer> PocketSphinxRecognizerService::makeRecognizer(const std::string& localeIdentifier) {
    if (!servesLocale(localeIdentifier)) return nullptr;
    return std::make_unique<PocketSphinxRecognizer>(shared_);
}

void PocketSphinxRecognizerService::warmUpInBackground() {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->available || shared_->warmUp.joinable()) return;
    shared_->warmUp = std::thread([pool = shared_->pool] {
        try {
            pool->warmUp();
        } catch (const PlatformError&) {
            // The first dictation reports it.
        }
    });
}

}  // namespace tavlo
