#pragma once
// libatspi belongs to the whole process and can be started only once: when
// it starts without an accessibility bus, every later call into it ends the
// process. This is the one place that starts it, and only after the desktop
// said the bus is on and handed out its address.
namespace tavlo::atspi {

class AccessibilityBusStatus;

// Starts the library when that is safe; whether it is usable. Main thread
// only, like everything that calls into libatspi.
bool startLibrary(AccessibilityBusStatus& status);
bool libraryStarted();

// How long one call into another application may take before it counts as
// failed: a stopped application must not hold up the program.
constexpr int callTimeoutMilliseconds = 400;

}  // namespace tavlo::atspi
