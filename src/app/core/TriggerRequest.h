#pragma once
// The requests `tavlo trigger ...` sends to the running program, for
// desktops where it cannot watch keys itself (Wayland compositors without a
// shortcuts service): the user binds these commands to keys in the
// compositor instead. One request is one short line of text on the
// program's single-instance channel; the answer is one line too.
#include <optional>
#include <string>
#include <string_view>

#include "base/Enums.h"

namespace tavlo {

enum class TriggerAction {
    start,   // as pressing the hold trigger
    stop,    // as releasing it: stop and deliver
    toggle,  // as the press trigger
    cancel,  // as Escape while listening
    professional,
    casual,
    list,
    clean,
};

// The word on the command line ("start", "professional"...), and back.
std::string_view commandWord(TriggerAction action);
std::optional<TriggerAction> triggerActionNamed(std::string_view word);
// Every word, separated by "|", for the usage text.
std::string triggerCommandWords();

// The rewrite style of a style action; absent for the dictation actions.
std::optional<TransformStyle> rewriteStyle(TriggerAction action);

// The line sent for an action, with its line feed.
std::string triggerRequestLine(TriggerAction action);
// The action a received request asks for; absent for anything else (another
// kind of request, an unknown word, extra text).
std::optional<TriggerAction> parseTriggerRequest(std::string_view request);

// `tavlo quit`'s request: the running program answers as to a trigger
// request and then quits.
inline constexpr std::string_view quitRequestLine = "quit\n";

// The running program's answers.
inline constexpr std::string_view triggerAcceptedReply = "ok\n";
inline constexpr std::string_view triggerRefusedReply = "unknown\n";

}  // namespace tavlo
