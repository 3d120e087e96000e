#pragma once
// The desktop's accessibility interface on Linux: AT-SPI2 through libatspi.
// "Trusted" means the desktop's accessibility bus is switched on and
// answers; Linux has no per-program permission to ask for, so asking for
// trust only looks again and never changes the user's desktop settings.
//
// The focused element is followed from focus events, which arrive while the
// default GLib main context runs (Qt's event loop runs it on the main
// thread), with a search of the active windows when no event has told us.
// Main thread only. Nothing touches libatspi until the accessibility bus has
// been seen running: the library ends the process when it starts without one.
#include <memory>

#include "platform/Accessibility.h"

namespace tavlo::atspi {

class AtspiAccessibility final : public Accessibility {
public:
    AtspiAccessibility();
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    // Also starts following the focus the first time the bus is found on,
    // so calling it at launch makes the first dictation's snapshot cheap.
    bool isProcessTrusted() const override;
    bool requestTrustWithPrompt() override;
    std::shared_ptr<AccessibilityElement> focusedElement() const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavlo::atspi
