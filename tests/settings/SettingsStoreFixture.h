#pragma once
// A settings store on simulated services: preferences and secrets in memory, a
// described machine and a clock that moves only when told.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>

#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/SettingsStore.h"

namespace tavlo {

// Readable failure messages.
inline void PrintTo(const RecentDictation& entry, std::ostream* out) {
    *out << "{" << secondsSinceReferenceDate(entry.date) << ", \"" << entry.appName << "\", \"" << entry.text
         << "\"}";
}
inline void PrintTo(const Rect& rect, std::ostream* out) { *out << rectText(rect); }

}  // namespace tavlo

namespace tavlo::testing {

// Stored dates are seconds in a double, so they come back to within a microsecond.
inline ::testing::AssertionResult sameHistory(const std::vector<RecentDictation>& actual,
                                              const std::vector<RecentDictation>& expected) {
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = actual[i].appName == expected[i].appName && actual[i].text == expected[i].text &&
               std::chrono::abs(actual[i].date - expected[i].date) < std::chrono::microseconds(1);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(actual) << " is not "
                                         << ::testing::PrintToString(expected);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStoreTest() { host.variables["LANG"] = "en_US.UTF-8"; }

    // A new store over the same services, as at the next start of the program.
    SettingsStore& open() {
        store_ = std::make_unique<SettingsStore>(preferences, secrets, host, clock);
        return *store_;
    }

    // Stores raw JSON text under a key, as binary data like the store writes it.
    void storeJson(std::string_view key, std::string json) {
        preferences.set(key, BinaryData{std::move(json)});
    }

    InMemoryPreferenceStore preferences;
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;

private:
    std::unique_ptr<SettingsStore> store_;
};

}  // namespace tavlo::testing
