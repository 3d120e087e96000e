// The settings file as the program finds it on disk: whatever its bytes (a
// hand edit, a torn copy, nesting tens of thousands deep), opening it and
// reading every setting must neither crash nor misbehave; a file that cannot
// be read is kept aside and the defaults apply.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/files/FilePreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/SettingsStore.h"

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path made = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavlo-fuzz-settings-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavlo;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
    std::ofstream(folder() / FilePreferenceStore::fileName, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    FilePreferenceStore preferences(folder(), [](const std::string&) {});
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store(preferences, secrets, host, clock);
    (void)store.snippets();
    (void)store.recent();
    (void)store.dictionaryWords();
    (void)store.shortcuts();
    (void)store.holdTrigger();
    (void)store.pressTrigger();
    (void)store.bubbleFrame();
    (void)store.speechModel();
    (void)store.lastAutomaticUpdateCheckAt();
    store.addRecent("fuzz", "Fuzz");
    return 0;
}
