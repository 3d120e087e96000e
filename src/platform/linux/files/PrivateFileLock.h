#pragma once
// An exclusive lock on a file of the user's private work folder, taken without
// waiting. Shared by the locks that keep two runs from doing the same thing.
#include <filesystem>

namespace tavlo {

struct PrivateFileLock {
    enum class Outcome { held, busy, unusable };
    Outcome outcome = Outcome::unusable;
    int descriptor = -1;  // open while held; closing it drops the lock
};

// Makes `folder` private (or finds it someone else's), opens `name` in it
// without following links and locks it. A file that is not a regular file of
// this user, or a folder that cannot be used, is `unusable`: callers then go on
// without the lock rather than refuse to work.
PrivateFileLock tryLockPrivateFile(const std::filesystem::path& folder, const char* name);

}  // namespace tavlo
