#include "platform/linux/audio/FreedMemoryReturn.h"

#include <malloc.h>

namespace tavlo {

void returnFreedMemoryToSystem() {
#ifdef __GLIBC__
    // Trims every arena, not only the calling thread's, and releases whole
    // free pages inside them too.
    ::malloc_trim(0);
#endif
}

}  // namespace tavlo
