#pragma once
// `tavlo trigger start|stop|toggle|cancel|professional|casual|list|clean`:
// asks the running desktop program, over its single-instance channel, to act
// as if its trigger or a rewrite shortcut was used. For desktops where the
// program cannot watch keys itself: the user binds these commands to keys in
// the compositor. Prints nothing on success.
#include <ostream>
#include <string>
#include <vector>

namespace tavlo {

// `args` starts with "trigger". 0 when the program took the request, 1 when
// none runs or it refused, 2 for a usage error.
int runTriggerCommand(const std::vector<std::string>& args, std::ostream& err);

}  // namespace tavlo
