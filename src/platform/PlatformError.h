#pragma once
// A failure reported by the operating system or a platform library (audio
// device, file system, recogniser, network). The core passes it on unchanged,
// so the user sees the platform's own description.
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace tavlo {

class PlatformError : public std::runtime_error {
public:
    PlatformError(std::string domain, int code, const std::string& description)
        : std::runtime_error(description), domain_(std::move(domain)), code_(code) {}

    // Where the error comes from, such as "pulse" or "posix".
    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    std::string localizedDescription() const { return what(); }

    friend bool operator==(const PlatformError& a, const PlatformError& b) {
        return a.domain_ == b.domain_ && a.code_ == b.code_ &&
               std::string_view(a.what()) == std::string_view(b.what());
    }

private:
    std::string domain_;
    int code_;
};

}  // namespace tavlo
