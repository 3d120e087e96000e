#pragma once
// Sends one request line to the running desktop program over its
// single-instance channel and reads its one-line answer. The commands that
// act in the running program (`tavlo trigger ...`, `tavlo quit`) share it.
#include <string>
#include <string_view>

namespace tavlo {

struct RunningProgramAnswer {
    enum class Kind {
        answered,   // `reply` holds what came back (empty when nothing came in time)
        notRunning, // no program holds the channel
        otherUser,  // the channel's program runs as another user: nothing was sent
    };
    Kind kind = Kind::notRunning;
    std::string reply;
};

RunningProgramAnswer askRunningProgram(std::string_view requestLine);

// What the commands print when no program runs.
inline constexpr std::string_view notRunningMessage = "tavlo: Tavlo is not running; start it first\n";
inline constexpr std::string_view otherUserMessage =
    "tavlo: the program on Tavlo's channel runs as another user; nothing was sent\n";

}  // namespace tavlo
