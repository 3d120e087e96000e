// The cloud endpoints, and how the environment moves them to another host.
#include <gtest/gtest.h>

#include "engine/cloud/CloudEndpoints.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo {
namespace {

struct EndpointCase {
    const char* name;
    std::map<std::string, std::string, std::less<>> variables;
    std::string openAI;
    std::string service;
};

class CloudEndpointsFromEnvironment : public ::testing::TestWithParam<EndpointCase> {};

TEST_P(CloudEndpointsFromEnvironment, AppendTheFixedPathsToTheBase) {
    const EndpointCase& c = GetParam();
    SimulatedHostEnvironment environment;
    environment.variables = c.variables;
    const CloudEndpoints endpoints = CloudEndpoints::fromEnvironment(environment);
    EXPECT_EQ(endpoints.openAITranscriptionURL, c.openAI);
    EXPECT_EQ(endpoints.cloudTranscriptionURL, c.service);
}

const std::string kOpenAI = "https://api.openai.com/v1/audio/transcriptions";
const std::string kService = "https://tavlo.app/.netlify/functions/cloud-transcribe";

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudEndpointsFromEnvironment,
    ::testing::Values(
        EndpointCase{"Unset", {}, kOpenAI, kService},
        EndpointCase{"Empty", {{"TAVLO_OPENAI_BASE_URL", ""}, {"TAVLO_SERVICE_URL", " "}}, kOpenAI, kService},
        EndpointCase{"HostAndPort",
                     {{"TAVLO_OPENAI_BASE_URL", "http://127.0.0.1:8080"}, {"TAVLO_SERVICE_URL", "http://localhost:9000"}},
                     "http://127.0.0.1:8080/v1/audio/transcriptions",
                     "http://localhost:9000/.netlify/functions/cloud-transcribe"},
        EndpointCase{"TrailingSlash",
                     {{"TAVLO_OPENAI_BASE_URL", "http://127.0.0.1:8080/"}, {"TAVLO_SERVICE_URL", "https://example.org/"}},
                     "http://127.0.0.1:8080/v1/audio/transcriptions",
                     "https://example.org/.netlify/functions/cloud-transcribe"},
        EndpointCase{"PathPrefix",
                     {{"TAVLO_OPENAI_BASE_URL", "https://proxy.example.org/openai"},
                      {"TAVLO_SERVICE_URL", "https://staging.example.org/tavlo/"}},
                     "https://proxy.example.org/openai/v1/audio/transcriptions",
                     "https://staging.example.org/tavlo/.netlify/functions/cloud-transcribe"},
        EndpointCase{"OnlyOne", {{"TAVLO_SERVICE_URL", "http://127.0.0.1:1234"}}, kOpenAI,
                     "http://127.0.0.1:1234/.netlify/functions/cloud-transcribe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloudEndpoints, StandardAreTheRealServices) {
    EXPECT_EQ(CloudEndpoints::standard().openAITranscriptionURL, kOpenAI);
    EXPECT_EQ(CloudEndpoints::standard().cloudTranscriptionURL, kService);
}

}  // namespace
}  // namespace tavlo
