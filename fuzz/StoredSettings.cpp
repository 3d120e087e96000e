// Whatever is stored under the settings keys (a damaged or hand-edited file),
// reading every property and running the store's logic must neither crash nor
// misbehave: a value that cannot be read reads as its default.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/PreferenceKeys.h"
#include "settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavlo;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input, cut at NUL bytes, gives the values of the keys in turn.
    InMemoryPreferenceStore preferences;
    const std::string_view keys[] = {PreferenceKey::snippets, PreferenceKey::recent, PreferenceKey::shortcuts,
                                     PreferenceKey::holdTrigger, PreferenceKey::pressTrigger};
    std::size_t start = 0;
    std::size_t index = 0;
    while (start <= input.size() && index < std::size(keys) + 3) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        const std::string piece(input.substr(start, end - start));
        if (index < std::size(keys))
            preferences.set(keys[index], BinaryData{piece});
        else if (index == std::size(keys))
            preferences.set(PreferenceKey::bubbleFrame, piece);
        else if (index == std::size(keys) + 1)
            preferences.set(PreferenceKey::speechLanguage, piece);
        else
            preferences.set(PreferenceKey::pressTrigger, BinaryData{piece});
        start = end + 1;
        ++index;
    }

    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store(preferences, secrets, host, clock);
    (void)store.snippets();
    (void)store.shortcuts();
    (void)store.holdTrigger();
    (void)store.pressTrigger();
    (void)store.bubbleFrame();
    (void)store.speechModel();
    (void)store.style(input, input);
    store.addRecent(input, "Fuzz");
    store.learnLikelyTerms(input);
    store.setShortcut(KeyShortcut{1, 2, "x"}, ShortcutAction::list);
    return 0;
}
