#include "app/desktop/QuitCommand.h"

#include "app/core/TriggerRequest.h"
#include "app/desktop/RunningProgramRequest.h"

namespace tavlo {

int runQuitCommand(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: tavlo quit\n  asks the running Tavlo to quit\n";
        return 2;
    }
    const RunningProgramAnswer answer = askRunningProgram(quitRequestLine);
    switch (answer.kind) {
    case RunningProgramAnswer::Kind::notRunning: err << "tavlo: Tavlo is not running\n"; return 1;
    case RunningProgramAnswer::Kind::otherUser: err << otherUserMessage; return 1;
    case RunningProgramAnswer::Kind::answered: break;
    }
    if (answer.reply == triggerAcceptedReply) return 0;
    err << "tavlo: Tavlo did not take the request to quit (a version without it, or busy)\n";
    return 1;
}

}  // namespace tavlo
