// Composition root: headless commands run directly; with no command the
// desktop program starts.
#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"
#include "app/cli/DescriptorOutput.h"
#include "app/desktop/DesktopProgram.h"
#include "app/desktop/QuitCommand.h"
#include "app/desktop/TriggerCommand.h"

namespace {

// A standard descriptor the caller closed (`tavlo dictate <&-`) would be
// handed to the next file or socket the program opens, so that reading
// "standard input" would read the program's own event loop and output would
// land in a log. Each closed one is taken by /dev/null, opened for reading
// only: input is at its end at once, and writing fails as it would have on
// the closed descriptor.
void occupyClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0) continue;
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    occupyClosedStandardDescriptors();
    std::vector<std::string> args(argv + 1, argv + argc);
    // These talk to the running desktop program, so they live beside it.
    if (!args.empty() && args[0] == "trigger") return tavlo::runTriggerCommand(args, std::cerr);
    if (!args.empty() && args[0] == "quit") return tavlo::runQuitCommand(args, std::cerr);
    tavlo::cli::DescriptorOutputBuffer standardOutputBuffer(STDOUT_FILENO);
    std::ostream standardOutput(&standardOutputBuffer);
    const int status = tavlo::cli::runCommand(args, {std::cin, standardOutput, std::cerr});
    if (status >= 0) return status;
    return tavlo::runDesktopProgram(argc, argv, std::cerr);
}
