// Whatever an update server sends, reading it as a manifest must neither crash
// nor throw, and deciding must agree with the version order: comparison is
// antisymmetric, and a manifest is never both newer and current.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updates/AppUpdateManifest.h"
#include "updates/UpdateDecision.h"
#include "updates/VersionComparison.h"

namespace {

tavlo::VersionOrder reversed(tavlo::VersionOrder order) {
    switch (order) {
    case tavlo::VersionOrder::ascending: return tavlo::VersionOrder::descending;
    case tavlo::VersionOrder::descending: return tavlo::VersionOrder::ascending;
    case tavlo::VersionOrder::same: return tavlo::VersionOrder::same;
    }
    return order;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavlo;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The first line doubles as a running version, the rest as the document.
    const std::size_t newline = input.find('\n');
    const std::string_view running = input.substr(0, newline);
    const std::string_view document = newline == std::string_view::npos ? input : input.substr(newline + 1);

    if (compareVersions(running, document) != reversed(compareVersions(document, running))) std::abort();
    if (compareVersions(running, running) != VersionOrder::same) std::abort();

    if (const auto manifest = decodeAppUpdateManifest(document)) {
        const AppUpdateResult result = decideUpdate(*manifest, {std::string(running), std::string(running)});
        const VersionOrder order = compareVersions(manifest->version, running);
        if (order == VersionOrder::descending && result.kind() != AppUpdateResult::Kind::available) std::abort();
        if (order == VersionOrder::ascending && result.kind() != AppUpdateResult::Kind::current) std::abort();
        if (result.kind() == AppUpdateResult::Kind::failed) std::abort();
    }
    return 0;
}
