#pragma once
// The per-user preference store: a flat map from string keys to simple values
// that survives restarts. Writes are fire-and-forget; a missing key reads as
// absent and a value of another kind reads as absent too.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/Date.h"

namespace tavlo {

// Opaque bytes (the settings store keeps encoded JSON records this way).
struct BinaryData {
    std::string bytes;
    bool operator==(const BinaryData&) const = default;
};

using PreferenceValue =
    std::variant<bool, double, std::string, std::vector<std::string>, BinaryData, Date>;

class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;

    // Whatever is stored under the key, of any kind.
    virtual std::optional<PreferenceValue> object(std::string_view key) = 0;
    virtual void set(std::string_view key, PreferenceValue value) = 0;
    virtual void remove(std::string_view key) = 0;
    // Keeps a copy of the value stored under the key where the user finds it
    // (beside the settings file), before a write replaces a value that could
    // not be read whole, so the entries that could not be read are not lost.
    // True when the copy was kept or nothing is stored under the key.
    virtual bool keepAside(std::string_view key) = 0;
    // Runs `body` as one step against every other program sharing the store:
    // its reads see the store as it is then, and no other change lands
    // between them and its writes, so reading a list, changing it and writing
    // it back loses nothing another program added meanwhile. A step inside
    // `body` joins this one. `what` names the change in messages; a store
    // that cannot take its lock says so and skips `body`.
    virtual void transaction(std::string_view what, const std::function<void()>& body) {
        (void)what;
        body();
    }

    // Typed reads: absent when the key is missing or holds another kind.
    std::optional<std::string> string(std::string_view key) { return read<std::string>(key); }
    std::optional<std::vector<std::string>> stringArray(std::string_view key) {
        return read<std::vector<std::string>>(key);
    }
    std::optional<BinaryData> data(std::string_view key) { return read<BinaryData>(key); }
    std::optional<Date> date(std::string_view key) { return read<Date>(key); }

    // False when missing; a number counts as true when it is not zero.
    bool boolean(std::string_view key) {
        const auto value = object(key);
        if (!value) return false;
        if (const bool* flag = std::get_if<bool>(&*value)) return *flag;
        if (const double* number = std::get_if<double>(&*value)) return *number != 0;
        return false;
    }

private:
    template <class T> std::optional<T> read(std::string_view key) {
        auto value = object(key);
        if (!value) return std::nullopt;
        if (T* typed = std::get_if<T>(&*value)) return std::move(*typed);
        return std::nullopt;
    }
};

}  // namespace tavlo
