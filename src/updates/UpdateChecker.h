#pragma once
// Asks the update manifest servers, in order, whether a newer release has been
// published. The program never updates itself; the result only tells the user.
//
// A check runs as a chain of requests, one address after another, each
// failure carried to the next; the first address that answers with a
// readable manifest decides. Checks keep no state in the checker, are never
// cancelled and may overlap; each delivers exactly one result, on the main
// queue, never inside `check`.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "updates/AppUpdateResult.h"
#include "updates/UpdateDecision.h"

namespace tavlo {

inline constexpr double kUpdateCheckTimeoutSeconds = 12.0;

struct UpdateCheckerSettings {
    std::shared_ptr<HttpClient> httpClient;
    std::shared_ptr<MainQueue> mainQueue;
    std::vector<std::string> manifestURLs;  // tried in this order
    RunningApplicationVersion running;
    double timeoutSeconds = kUpdateCheckTimeoutSeconds;  // per address, connection included
};

class UpdateChecker {
public:
    using Completion = std::function<void(AppUpdateResult)>;

    // The checker keeps the HTTP client alive; checks in flight only hold it
    // weakly, so that the client's worker thread never ends up owning it.
    explicit UpdateChecker(UpdateCheckerSettings settings);

    const std::vector<std::string>& manifestURLs() const;

    // Starts a check with the first address and returns at once.
    void check(Completion completion) const;

private:
    struct Shared;

    // Tries the address at `urlIndex`, carrying the previous failure's message.
    // Runs on the main thread. Past the last address, or once the client is
    // gone, the check fails with that message.
    static void check(std::shared_ptr<const Shared> shared, std::size_t urlIndex,
                      std::optional<std::string> lastError, Completion completion);

    std::shared_ptr<HttpClient> httpClient_;
    std::shared_ptr<const Shared> shared_;
};

}  // namespace tavlo
