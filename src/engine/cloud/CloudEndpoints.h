#pragma once
// Where the cloud back end sends recordings: OpenAI's transcription endpoint
// for the user's own key, and the hosted transcription service. Both hosts can
// be replaced from the environment, for a proxy or a local test server:
// TAVLO_OPENAI_BASE_URL and TAVLO_SERVICE_URL hold a base URL (scheme, host,
// optional port and path prefix); the fixed endpoint paths are appended.
#include <string>
#include <string_view>

#include "platform/HostEnvironment.h"

namespace tavlo {

inline constexpr std::string_view kDefaultOpenAIBaseURL = "https://api.openai.com";
inline constexpr std::string_view kDefaultTavloServiceBaseURL = "https://tavlo.app";
inline constexpr std::string_view kOpenAIBaseURLVariable = "TAVLO_OPENAI_BASE_URL";
inline constexpr std::string_view kTavloServiceURLVariable = "TAVLO_SERVICE_URL";

struct CloudEndpoints {
    // The full URL of OpenAI's audio transcription endpoint.
    std::string openAITranscriptionURL;
    // The full URL of the hosted service's transcription endpoint.
    std::string cloudTranscriptionURL;

    // The endpoints under the given base URLs; trailing slashes are dropped.
    static CloudEndpoints withBaseURLs(std::string_view openAIBaseURL, std::string_view serviceBaseURL);
    // The real services.
    static CloudEndpoints standard();
    // The real services, unless the environment names other bases. A variable
    // that is empty (or only white space) counts as not set.
    static CloudEndpoints fromEnvironment(const HostEnvironment& environment);
};

}  // namespace tavlo
