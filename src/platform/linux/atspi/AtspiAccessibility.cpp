#include "platform/linux/atspi/AtspiAccessibility.h"

#include <atspi/atspi.h>

#include "platform/linux/atspi/AccessibilityBusStatus.h"
#include "platform/linux/atspi/AtspiElement.h"
#include "platform/linux/atspi/AtspiLibrary.h"
#include "platform/linux/atspi/FocusedElementSearch.h"

namespace tavlo::atspi {
namespace {

constexpr const char* focusEvent = "object:state-changed:focused";

}  // namespace

struct AtspiAccessibility::State {
    AccessibilityBusStatus status;
    AtspiEventListener* listener = nullptr;
    AtspiAccessible* focused = nullptr;  // last element heard to gain focus

    ~State() {
        if (listener) {
            GError* error = nullptr;
            atspi_event_listener_deregister(listener, focusEvent, &error);
            if (error) g_error_free(error);
            g_object_unref(listener);
        }
        setFocused(nullptr);
    }

    void setFocused(AtspiAccessible* element) {
        if (element) g_object_ref(element);
        if (focused) g_object_unref(focused);
        focused = element;
    }

    static void onFocusEvent(AtspiEvent* event, void* data) {
        auto* state = static_cast<State*>(data);
        if (event->detail1 != 0)
            state->setFocused(event->source);
        else if (event->source == state->focused)
            state->setFocused(nullptr);
        g_boxed_free(ATSPI_TYPE_EVENT, event);
    }

    // Starts the library and the focus tracking once the bus is on.
    bool started() {
        if (listener) return true;
        // Another instance may have started the library on a bus that is
        // gone or off by now: look first in any case.
        if (status.read() != AccessibilityBusState::switchedOn || !startLibrary(status)) return false;
        listener = atspi_event_listener_new(&State::onFocusEvent, this, nullptr);
        GError* error = nullptr;
        if (!atspi_event_listener_register(listener, focusEvent, &error)) {
            if (error) g_error_free(error);
            g_object_unref(listener);
            listener = nullptr;
            return false;
        }
        // Whatever has the focus now announced it before we listened.
        AtspiAccessible* current = findFocusedElement();
        setFocused(current);
        if (current) g_object_unref(current);
        return true;
    }
};

AtspiAccessibility::AtspiAccessibility() : state_(std::make_unique<State>()) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isProcessTrusted() const {
    if (state_->status.read() != AccessibilityBusState::switchedOn) return false;
    return state_->started();
}

bool AtspiAccessibility::requestTrustWithPrompt() {
    // There is no prompt to show: switching the bus on is the user's choice
    // in the desktop's settings, and it changes every application's
    // behaviour. Look again, in case the user has switched it on since.
    return isProcessTrusted();
}

std::shared_ptr<AccessibilityElement> AtspiAccessibility::focusedElement() const {
    if (!state_->started()) return nullptr;
    if (!state_->focused || !hasFocus(state_->focused)) {
        // No event told us (yet) where the focus went.
        AtspiAccessible* found = findFocusedElement();
        state_->setFocused(found);
        if (found) g_object_unref(found);
    }
    if (!state_->focused) return nullptr;
    return std::make_shared<AtspiElement>(state_->focused);
}

}  // namespace tavlo::atspi
