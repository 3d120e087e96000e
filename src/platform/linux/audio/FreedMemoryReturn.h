#pragma once
// Gives the memory a finished dictation freed back to the system. The C
// library keeps freed blocks for reuse, so without this a long dictation
// leaves the program as large as it was at its peak.
namespace tavlo {

void returnFreedMemoryToSystem();

}  // namespace tavlo
