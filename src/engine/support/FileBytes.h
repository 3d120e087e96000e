#pragma once
#include <filesystem>
#include <string>

#include "platform/PlatformError.h"

namespace tavlo {

// The whole file in memory. Throws PlatformError (domain "file", the errno
// value as code) when it cannot be opened or read.
std::string readFileBytes(const std::filesystem::path& file);

}  // namespace tavlo
