#include "app/cli/TerminalText.h"

namespace tavlo::cli {

std::string printableOnTerminal(std::string_view text) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string printable;
    printable.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            printable += '\n';
        } else if (byte == '\n' || byte == '\t') {
            printable += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            printable += replacement;
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F, the C1 controls in UTF-8.
            printable += replacement;
            ++i;
        } else {
            printable += static_cast<char>(byte);
        }
    }
    return printable;
}

}  // namespace tavlo::cli
