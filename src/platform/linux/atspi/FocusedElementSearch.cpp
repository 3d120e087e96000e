#include "platform/linux/atspi/FocusedElementSearch.h"

#include <atspi/atspi.h>

#include <vector>

namespace tavlo::atspi {
namespace {

struct States {
    explicit States(AtspiAccessible* element) : set(atspi_accessible_get_state_set(element)) {}
    ~States() {
        if (set) g_object_unref(set);
    }
    States(const States&) = delete;
    States& operator=(const States&) = delete;
    bool has(AtspiStateType state) const { return set && atspi_state_set_contains(set, state); }
    AtspiStateSet* set;
};

std::vector<AtspiAccessible*> children(AtspiAccessible* element) {
    std::vector<AtspiAccessible*> result;
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(element, &error);
    if (error) {
        g_error_free(error);
        return result;
    }
    for (gint index = 0; index < count; ++index) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(element, index, &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
            continue;
        }
        if (child) result.push_back(child);
    }
    return result;
}

void release(std::vector<AtspiAccessible*>& elements) {
    for (auto* element : elements)
        if (element) g_object_unref(element);
    elements.clear();
}

// Depth first below one window; a new reference to the focused element.
AtspiAccessible* searchBelow(AtspiAccessible* window, int& budget) {
    std::vector<AtspiAccessible*> pending{static_cast<AtspiAccessible*>(g_object_ref(window))};
    AtspiAccessible* found = nullptr;
    while (!pending.empty() && !found && budget > 0) {
        AtspiAccessible* element = pending.back();
        pending.pop_back();
        --budget;
        const States states(element);
        if (states.has(ATSPI_STATE_DEFUNCT)) {
            g_object_unref(element);
            continue;
        }
        if (states.has(ATSPI_STATE_FOCUSED)) {
            found = element;
            break;
        }
        // Lists and tables that manage their own descendants can hold
        // thousands of children; their focus arrives by event instead.
        if (element == window || (states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_MANAGES_DESCENDANTS))) {
            auto below = children(element);
            for (auto it = below.rbegin(); it != below.rend(); ++it) pending.push_back(*it);
        }
        g_object_unref(element);
    }
    release(pending);
    return found;
}

}  // namespace

bool hasFocus(AtspiAccessible* element) {
    const States states(element);
    return states.has(ATSPI_STATE_FOCUSED) && !states.has(ATSPI_STATE_DEFUNCT);
}

AtspiAccessible* findFocusedElement(int elementBudget) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return nullptr;
    auto applications = children(desktop);
    g_object_unref(desktop);
    AtspiAccessible* found = nullptr;
    for (auto* application : applications) {
        auto windows = children(application);
        for (auto* window : windows) {
            if (found || elementBudget <= 0) break;
            if (States(window).has(ATSPI_STATE_ACTIVE)) found = searchBelow(window, elementBudget);
        }
        release(windows);
        if (found) break;
    }
    release(applications);
    return found;
}

}  // namespace tavlo::atspi
