#pragma once
// A preference store that lives in memory only, for tests and the headless demo.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/PreferenceStore.h"

namespace tavlo {

class InMemoryPreferenceStore : public PreferenceStore {
public:
    using Contents = std::map<std::string, PreferenceValue, std::less<>>;

    InMemoryPreferenceStore() = default;
    explicit InMemoryPreferenceStore(Contents contents) : contents_(std::move(contents)) {}

    std::optional<PreferenceValue> object(std::string_view key) override;
    void set(std::string_view key, PreferenceValue value) override;
    void remove(std::string_view key) override;
    bool keepAside(std::string_view key) override;

    const Contents& contents() const { return contents_; }
    // Number of set and remove calls so far, to show that nothing was written.
    int writeCount() const { return writes_; }
    // The values kept aside, in order, with their keys.
    const std::vector<std::pair<std::string, PreferenceValue>>& keptAside() const { return keptAside_; }

private:
    Contents contents_;
    int writes_ = 0;
    std::vector<std::pair<std::string, PreferenceValue>> keptAside_;
};

}  // namespace tavlo
