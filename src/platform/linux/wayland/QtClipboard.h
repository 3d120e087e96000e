#pragma once
// The clipboard through Qt on Wayland. The compositor takes a new clipboard
// text only from the client that has the keyboard focus, and this program
// rarely has it: the text mostly does not reach other applications this way,
// and the delivery says so instead of counting on it. Without a GUI
// application object (a command) there is no clipboard at all. Main thread only.
#include <cstdint>

#include "platform/Pasteboard.h"

namespace tavlo::wayland {

class QtClipboard final : public Pasteboard {
public:
    void clearContents() override;
    void setString(std::string_view text) override;
    std::optional<std::string> string() const override;
    // Counts this program's own writes only: Qt does not say reliably when
    // another client's selection arrives while this one has no focus.
    std::int64_t changeCount() const override { return changes_; }

private:
    std::int64_t changes_ = 0;
};

}  // namespace tavlo::wayland
