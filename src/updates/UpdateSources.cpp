#include "updates/UpdateSources.h"

#include <string_view>

// Given by the build (see src/CMakeLists.txt); the fallbacks keep a build
// without them working.
#ifndef TAVLO_UPDATE_MANIFEST_URLS
#define TAVLO_UPDATE_MANIFEST_URLS ""
#endif
#ifndef TAVLO_BUILD_NUMBER
#define TAVLO_BUILD_NUMBER ""
#endif
#ifndef TAVLO_VERSION
#define TAVLO_VERSION ""
#endif

namespace tavlo {
namespace {

std::vector<std::string> splitAtWhiteSpace(std::string_view text) {
    constexpr std::string_view whiteSpace = " \t\r\n\f\v";
    std::vector<std::string> words;
    std::size_t start = text.find_first_not_of(whiteSpace);
    while (start != std::string_view::npos) {
        const std::size_t end = text.find_first_of(whiteSpace, start);
        words.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        start = text.find_first_not_of(whiteSpace, end);
    }
    return words;
}

std::string orZero(std::string_view text) { return text.empty() ? "0" : std::string(text); }

}  // namespace

std::vector<std::string> builtInManifestURLs() { return splitAtWhiteSpace(TAVLO_UPDATE_MANIFEST_URLS); }

RunningApplicationVersion runningApplicationVersion() {
    return {orZero(TAVLO_VERSION), orZero(TAVLO_BUILD_NUMBER)};
}

UpdateSources updateSources(const HostEnvironment& environment) {
    std::vector<std::string> urls;
    if (const auto fromEnvironment = environment.variable("TAVLO_UPDATE_MANIFEST_URLS"))
        urls = splitAtWhiteSpace(*fromEnvironment);
    if (urls.empty()) urls = builtInManifestURLs();
    return {std::move(urls), runningApplicationVersion()};
}

}  // namespace tavlo
