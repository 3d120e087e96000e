#include "updates/UpdateChecker.h"

#include <utility>
#include <variant>

#include "updates/AppUpdateManifest.h"

namespace tavlo {
namespace {

constexpr const char* kNoManifestMessage = "No update manifest is available.";

// A manifest, or the message that says why this address gave none.
std::variant<AppUpdateManifest, std::string> readManifestAnswer(const HttpResult& result) {
    if (!result.response) return result.error ? result.error->description : std::string();
    const HttpResponse& response = *result.response;
    if (response.statusCode < 200 || response.statusCode > 299)
        return "Update server returned HTTP " + std::to_string(response.statusCode) + ".";
    if (response.body.empty()) return std::string("Update server returned no data.");
    if (auto manifest = decodeAppUpdateManifest(response.body)) return std::move(*manifest);
    return std::string("Could not read update manifest.");
}

}  // namespace

// Everything a check in flight needs, fixed when the checker is made.
struct UpdateChecker::Shared {
    std::weak_ptr<HttpClient> httpClient;
    std::shared_ptr<MainQueue> mainQueue;
    std::vector<std::string> manifestURLs;
    RunningApplicationVersion running;
    double timeoutSeconds = kUpdateCheckTimeoutSeconds;
};

UpdateChecker::UpdateChecker(UpdateCheckerSettings settings)
    : httpClient_(std::move(settings.httpClient)),
      shared_(std::make_shared<const Shared>(Shared{httpClient_, std::move(settings.mainQueue),
                                                    std::move(settings.manifestURLs), std::move(settings.running),
                                                    settings.timeoutSeconds})) {}

const std::vector<std::string>& UpdateChecker::manifestURLs() const { return shared_->manifestURLs; }

void UpdateChecker::check(Completion completion) const { check(shared_, 0, std::nullopt, std::move(completion)); }

void UpdateChecker::check(std::shared_ptr<const Shared> shared, std::size_t urlIndex,
                          std::optional<std::string> lastError, Completion completion) {
    const auto httpClient = shared->httpClient.lock();
    if (urlIndex >= shared->manifestURLs.size() || !httpClient) {
        // An empty description would leave the user with no reason at all.
        const std::string message = lastError && !lastError->empty() ? *lastError : kNoManifestMessage;
        shared->mainQueue->post([completion = std::move(completion), message] { completion(AppUpdateResult::failed(message)); });
        return;
    }

    HttpRequest request;
    request.method = "GET";
    request.url = shared->manifestURLs[urlIndex];
    request.timeoutSeconds = shared->timeoutSeconds;
    request.cachePolicy = HttpCachePolicy::reloadIgnoringLocalCache;
    // The client keeps its own requests alive until they complete.
    httpClient->dataTask(std::move(request), [shared, urlIndex, completion = std::move(completion)](HttpResult result) {
        // The answer is read and judged here, on the client's thread; only the
        // outcome goes to the main thread. The next address is asked from
        // there too, so the client is only ever held on the main thread.
        auto answer = readManifestAnswer(result);
        if (auto* manifest = std::get_if<AppUpdateManifest>(&answer)) {
            shared->mainQueue->post([completion, decision = decideUpdate(*manifest, shared->running)] {
                completion(decision);
            });
        } else {
            shared->mainQueue->post([shared, urlIndex, completion, message = std::get<std::string>(std::move(answer))] {
                check(shared, urlIndex + 1, message, completion);
            });
        }
    });
}

}  // namespace tavlo
