// The snippets readers: a snippets file handed to `tavlo clean --snippets`
// (taken whole or refused) and the stored lists read entry by entry (snippets,
// history, dictionary), whatever the text, nesting included. Reading must
// never crash, and what was read, written back, reads the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/PreferenceKeys.h"
#include "settings/SettingsStore.h"
#include "settings/SnippetsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavlo;
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (const auto snippets = snippetsFromJson(input)) (void)snippets->size();

    InMemoryPreferenceStore preferences;
    for (const auto key : {PreferenceKey::snippets, PreferenceKey::recent, PreferenceKey::dictionaryWords})
        preferences.set(key, BinaryData{input});
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store(preferences, secrets, host, clock);
    const auto snippets = store.snippets();
    const auto history = store.recent();
    const auto words = store.dictionaryWords();
    store.setSnippets(snippets);
    store.addRecent("fuzz", "Fuzz");
    store.learnLikelyTerms("Fuzz Target");
    // What was read and written back reads the same.
    if (store.snippets() != snippets) __builtin_trap();
    return 0;
}
