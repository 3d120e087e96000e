#pragma once
// The one outcome of an update check: a newer release, the running version
// being the newest, or why no manifest could be had.
#include <string>
#include <utility>
#include <variant>

#include "updates/AppUpdateManifest.h"

namespace tavlo {

class AppUpdateResult {
public:
    enum class Kind { available, current, failed };

    static AppUpdateResult available(AppUpdateManifest manifest) { return AppUpdateResult(std::move(manifest)); }
    // `version` is the running version.
    static AppUpdateResult current(std::string version) { return AppUpdateResult(Current{std::move(version)}); }
    static AppUpdateResult failed(std::string message) { return AppUpdateResult(Failure{std::move(message)}); }

    Kind kind() const noexcept { return static_cast<Kind>(value_.index()); }
    // Only for `available`.
    const AppUpdateManifest& manifest() const { return std::get<AppUpdateManifest>(value_); }
    // Only for `current`.
    const std::string& version() const { return std::get<Current>(value_).version; }
    // Only for `failed`.
    const std::string& message() const { return std::get<Failure>(value_).message; }

    friend bool operator==(const AppUpdateResult&, const AppUpdateResult&) = default;

private:
    struct Current {
        std::string version;
        friend bool operator==(const Current&, const Current&) = default;
    };
    struct Failure {
        std::string message;
        friend bool operator==(const Failure&, const Failure&) = default;
    };

    template <class Value>
    explicit AppUpdateResult(Value value) : value_(std::move(value)) {}

    // In the order of Kind.
    std::variant<AppUpdateManifest, Current, Failure> value_;
};

}  // namespace tavlo
