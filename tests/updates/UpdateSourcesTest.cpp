// Which manifest addresses a check uses: the environment's list when it names
// any, otherwise the built-in one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimulatedHostEnvironment.h"
#include "updates/UpdateSources.h"

namespace tavlo {
namespace {

TEST(UpdateSources, TheBuiltInAddressesAreHttpsManifestsTriedInOrder) {
    const auto urls = builtInManifestURLs();
    ASSERT_GE(urls.size(), 1u);
    for (const auto& url : urls) {
        EXPECT_EQ(url.rfind("https://", 0), 0u) << url;
        EXPECT_TRUE(url.ends_with("/updates.json")) << url;
    }
    SimulatedHostEnvironment environment;
    EXPECT_EQ(updateSources(environment).manifestURLs, urls);
}

TEST(UpdateSources, TheEnvironmentReplacesTheBuiltInAddressesUnlessItIsBlank) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"http://127.0.0.1:8080/updates.json", {"http://127.0.0.1:8080/updates.json"}},
        {"https://a.example/updates.json https://b.example/updates.json",
         {"https://a.example/updates.json", "https://b.example/updates.json"}},
        {"  https://b.example/u.json\t\nhttps://a.example/u.json  ", {"https://b.example/u.json", "https://a.example/u.json"}},
        {"", builtInManifestURLs()},
        {" \t\n ", builtInManifestURLs()},
    };
    for (const auto& [value, urls] : cases) {
        SimulatedHostEnvironment environment;
        environment.variables["TAVLO_UPDATE_MANIFEST_URLS"] = value;
        EXPECT_EQ(updateSources(environment).manifestURLs, urls) << '"' << value << '"';
    }
}

TEST(UpdateSources, TheRunningVersionIsThisBuilds) {
    SimulatedHostEnvironment environment;
    const auto running = updateSources(environment).running;
    EXPECT_EQ(running.version, TAVLO_VERSION);
    EXPECT_FALSE(running.build.empty());
}

}  // namespace
}  // namespace tavlo
