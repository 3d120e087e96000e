// Composition root: headless commands run directly; with no command the
// desktop program starts.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = tavlo::cli::runCommand(args, {std::cin, std::cout, std::cerr});
    if (status >= 0) return status;
    std::cerr << "tavlo: the desktop program is not available in this build yet; "
                 "try `tavlo clean TEXT`\n";
    return 1;
}
