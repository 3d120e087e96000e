#pragma once
// Finding the focused element by walking the accessibility tree, for when no
// focus event has told us yet (at start-up, or when the last element we heard
// of lost the focus since). Only active windows are searched, and only so
// many elements: a huge tree must not stall the program.
typedef struct _AtspiAccessible AtspiAccessible;

namespace tavlo::atspi {

// Whether the element has the keyboard focus now.
bool hasFocus(AtspiAccessible* element);

// A new reference to the focused element, or null.
AtspiAccessible* findFocusedElement(int elementBudget = 2000);

}  // namespace tavlo::atspi
