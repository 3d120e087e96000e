#include "engine/cloud/CloudEndpoints.h"

#include <optional>

namespace tavlo {
namespace {

constexpr std::string_view kOpenAITranscriptionPath = "/v1/audio/transcriptions";
constexpr std::string_view kCloudTranscriptionPath = "/.netlify/functions/cloud-transcribe";

std::string joined(std::string_view base, std::string_view path) {
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    std::string url(base);
    url += path;
    return url;
}

std::optional<std::string> baseFromEnvironment(const HostEnvironment& environment, std::string_view name) {
    const std::optional<std::string> value = environment.variable(name);
    if (!value) return std::nullopt;
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = value->find_first_not_of(blanks);
    if (first == std::string::npos) return std::nullopt;
    const auto last = value->find_last_not_of(blanks);
    return value->substr(first, last - first + 1);
}

}  // namespace

CloudEndpoints CloudEndpoints::withBaseURLs(std::string_view openAIBaseURL, std::string_view serviceBaseURL) {
    return {joined(openAIBaseURL, kOpenAITranscriptionPath), joined(serviceBaseURL, kCloudTranscriptionPath)};
}

CloudEndpoints CloudEndpoints::standard() {
    return withBaseURLs(kDefaultOpenAIBaseURL, kDefaultTavloServiceBaseURL);
}

CloudEndpoints CloudEndpoints::fromEnvironment(const HostEnvironment& environment) {
    const auto openAI = baseFromEnvironment(environment, kOpenAIBaseURLVariable);
    const auto service = baseFromEnvironment(environment, kTavloServiceURLVariable);
    return withBaseURLs(openAI ? std::string_view(*openAI) : kDefaultOpenAIBaseURL,
                        service ? std::string_view(*service) : kDefaultTavloServiceBaseURL);
}

}  // namespace tavlo
