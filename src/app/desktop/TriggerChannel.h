#pragma once
// The running program's side of the trigger commands and of `tavlo quit`: a
// request line from the single-instance channel becomes an action of the
// controller.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavlo {

class AppDelegate;

// The answer for each request line: accepted (and performed) or refused.
std::function<std::string(std::string_view request)> triggerRequestHandler(std::weak_ptr<AppDelegate> controller);

}  // namespace tavlo
