#pragma once
// The system clipboard, for plain text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void clearContents() = 0;
    virtual void setString(std::string_view text) = 0;
    // The plain text on the clipboard, absent when it holds none.
    virtual std::optional<std::string> string() const = 0;
    // Grows with every change of the contents, by this program or another.
    virtual std::int64_t changeCount() const = 0;
};

}  // namespace tavlo
