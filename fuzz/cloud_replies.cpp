// Whatever the cloud services answer (any status, any bytes), reading the
// reply must neither crash nor throw, and must end the session the way the
// status says; and whatever the dictionary holds, the hosted service's JSON
// body is built and carries the prompt unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/cloud/CloudReplies.h"
#include "engine/cloud/CloudRequests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavlo;
    if (size == 0) return 0;
    static constexpr int statuses[] = {200, 201, 299, 300, 400, 401, 404, 429, 500, 503};
    const int status = statuses[data[0] % std::size(statuses)];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    HttpResult result;
    result.response = HttpResponse{status, {}, std::string(input)};
    for (const DictationResult& outcome : {openAITranscriptionOutcome(result), tavloCloudTranscriptionOutcome(result)}) {
        const bool ok = status >= 200 && status <= 299;
        if (outcome.isSuccess() != ok) std::abort();
        if (!ok) {
            const auto* error = std::get_if<DictationEngineError>(&outcome.error());
            if (!error || error->errorCase() != DictationEngineError::Case::cloudTranscriptionFailed) std::abort();
        }
    }

    // The same bytes, cut at NUL, as dictionary words.
    std::vector<std::string> words;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        words.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    const auto prompt = cloudPrompt(words);
    const HttpRequest request = tavloCloudTranscriptionRequest("http://127.0.0.1/", "token", input, {"en", prompt});
    const nlohmann::json body = nlohmann::json::parse(request.body);
    if (prompt ? body.at("prompt") != *prompt : body.contains("prompt")) std::abort();
    return 0;
}
