#pragma once
#include <string>
#include <string_view>

namespace tavlo::cli {

// Text from elsewhere (a server's release notes, say) made safe to print on a
// terminal: control characters, which could move the cursor, rewrite earlier
// lines or change the terminal's settings, become U+FFFD. Tabs and line
// breaks stay; "\r\n" and a lone "\r" become "\n".
std::string printableOnTerminal(std::string_view text);

}  // namespace tavlo::cli
