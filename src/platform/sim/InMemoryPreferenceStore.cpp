#include "platform/sim/InMemoryPreferenceStore.h"

namespace tavlo {

std::optional<PreferenceValue> InMemoryPreferenceStore::object(std::string_view key) {
    const auto found = contents_.find(key);
    if (found == contents_.end()) return std::nullopt;
    return found->second;
}

void InMemoryPreferenceStore::set(std::string_view key, PreferenceValue value) {
    ++writes_;
    contents_.insert_or_assign(std::string(key), std::move(value));
}

void InMemoryPreferenceStore::remove(std::string_view key) {
    ++writes_;
    const auto found = contents_.find(key);
    if (found != contents_.end()) contents_.erase(found);
}

bool InMemoryPreferenceStore::keepAside(std::string_view key) {
    const auto found = contents_.find(key);
    if (found != contents_.end()) keptAside_.emplace_back(found->first, found->second);
    return true;
}

}  // namespace tavlo
