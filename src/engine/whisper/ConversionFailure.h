#pragma once
// What the user reads when ffmpeg could not convert a recording or a file:
// a short sentence about the file, never ffmpeg's own lines, which name the
// private work copy rather than the user's file and speak of streams and
// muxers.
#include <filesystem>
#include <string>
#include <string_view>

namespace tavlo {

// Empty when ffmpeg said nothing at all.
std::string ffmpegFailureMessage(std::string_view standardError);

}  // namespace tavlo
