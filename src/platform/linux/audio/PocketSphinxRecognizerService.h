#pragma once
// On-device recognition with PocketSphinx. English is served with the
// installed US English model; any other language has no recogniser. Each
// recognition task decodes on a thread of its own; the service waits for them
// when it goes away.
#include <memory>

#include "platform/SpeechRecognizerService.h"
#include "platform/linux/audio/PocketSphinxModel.h"
#include "platform/linux/audio/PocketSphinxUtterances.h"

namespace tavlo {

class PocketSphinxRecognizerService final : public SpeechRecognizerService {
public:
    explicit PocketSphinxRecognizerService(PocketSphinxModel model = PocketSphinxModel::usEnglish(),
                                           UtteranceLimits limits = {});
    ~PocketSphinxRecognizerService() override;

    // Nothing is asked on Linux: recognition stays on the machine.
    SpeechAuthorizationStatus authorizationStatus() const override { return SpeechAuthorizationStatus::authorized; }
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const std::string& localeIdentifier) override;

    // Loads the model in the background so the first dictation need not wait
    // for it.
    void warmUpInBackground();

    // Whether the locale's language is one the model understands.
    static bool servesLocale(const std::string& localeIdentifier);

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace tavlo
