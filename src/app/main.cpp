// Composition root: headless commands run directly; with no command the
// desktop program starts.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"
#include "app/cli/DescriptorOutput.h"
#include "app/desktop/DesktopProgram.h"
#include "app/desktop/TriggerCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Talks to the running desktop program, so it lives beside it.
    if (!args.empty() && args[0] == "trigger") return tavlo::runTriggerCommand(args, std::cerr);
    tavlo::cli::DescriptorOutputBuffer standardOutputBuffer(STDOUT_FILENO);
    std::ostream standardOutput(&standardOutputBuffer);
    const int status = tavlo::cli::runCommand(args, {std::cin, standardOutput, std::cerr});
    if (status >= 0) return status;
    return tavlo::runDesktopProgram(argc, argv, std::cerr);
}
