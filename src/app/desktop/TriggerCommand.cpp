#include "app/desktop/TriggerCommand.h"

#include "app/core/TriggerRequest.h"
#include "app/desktop/RunningProgramRequest.h"

namespace tavlo {

int runTriggerCommand(const std::vector<std::string>& args, std::ostream& err) {
    const auto action = args.size() == 2 ? triggerActionNamed(args[1]) : std::nullopt;
    if (!action) {
        err << "usage: tavlo trigger " << triggerCommandWords()
            << "\n  acts in the running Tavlo as its trigger or a rewrite shortcut would\n";
        return 2;
    }
    const RunningProgramAnswer answer = askRunningProgram(triggerRequestLine(*action));
    if (answer.kind == RunningProgramAnswer::Kind::notRunning) {
        err << notRunningMessage;
        return 1;
    }
    if (answer.kind == RunningProgramAnswer::Kind::otherUser) {
        err << otherUserMessage;
        return 1;
    }
    const std::string& reply = answer.reply;
    if (reply == triggerAcceptedReply) return 0;
    if (reply.empty())
        err << "tavlo: Tavlo did not take the request (a version without trigger commands, or busy)\n";
    else
        err << "tavlo: Tavlo refused the request\n";
    return 1;
}

}  // namespace tavlo
