#include "platform/linux/atspi/AtspiLibrary.h"

#include <atspi/atspi.h>

#include "platform/linux/atspi/AccessibilityBusStatus.h"

namespace tavlo::atspi {
namespace {

enum class LibraryState { notStarted, started, unusable };
LibraryState state = LibraryState::notStarted;

}  // namespace

bool startLibrary(AccessibilityBusStatus& status) {
    if (state != LibraryState::notStarted) return state == LibraryState::started;
    if (status.read() != AccessibilityBusState::switchedOn || !status.busAddressAvailable()) return false;
    atspi_set_timeout(callTimeoutMilliseconds, callTimeoutMilliseconds);
    // 0: connected; 1: started before (by another library in this process).
    // Anything else leaves the library unusable for the rest of the run.
    const int result = atspi_init();
    state = result == 0 || result == 1 ? LibraryState::started : LibraryState::unusable;
    return state == LibraryState::started;
}

bool libraryStarted() { return state == LibraryState::started; }

}  // namespace tavlo::atspi
