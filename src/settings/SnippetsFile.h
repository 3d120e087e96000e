#pragma once
// A snippets file given on the command line: a JSON array of
// {"phrase": ..., "expansion": ...} objects. Unlike the stored list, which is
// read entry by entry, a file the user hands over is taken whole or refused,
// so a mistake in it is shown rather than half applied.
#include <optional>
#include <string_view>
#include <vector>

#include "base/Records.h"

namespace tavlo {

// Far more than any set of snippets; a bound so a wrong path (a device, a
// huge log) cannot eat memory.
inline constexpr std::size_t maximumSnippetsFileSize = 16 * 1024 * 1024;

// The snippets, or absent when the text is not such an array (or nested
// beyond the JSON depth bound).
std::optional<std::vector<VoiceSnippet>> snippetsFromJson(std::string_view text);

}  // namespace tavlo
