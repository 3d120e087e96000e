#pragma once
// Another application with one text field that has the keyboard focus: a
// GTK 3 entry (a Python script) or a Qt line edit (a small test program),
// for tests of reading and writing fields over the accessibility bus. The
// test talks to it over its standard input and output to learn what the field
// really holds. Positions in that exchange are UTF-16 units, whatever the
// toolkit counts in. Stopped by its process id when the object goes away.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <vector>
#include <optional>
#include <string>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

enum class Toolkit { gtk3, qt };

struct TextFieldSetup {
    std::string text;
    int selectionStart = 0;  // UTF-16 units; start == end puts the caret there
    int selectionEnd = 0;
    bool refusesPaste = false;  // the paste keystroke and menu do nothing
    bool password = false;
    // GTK only: a focused canvas that offers no editable text over the
    // accessibility bus (as a terminal) and takes text only by the paste
    // shortcut, Ctrl+V or Ctrl+Shift+V.
    bool pasteOnly = false;
    // On a Wayland desktop of the tests: the command that runs it as that
    // session's user (empty: as this process) and the session's environment.
    // Empty `waylandSession`: on this process's X11 display.
    std::vector<std::string> runAs = {};
    std::map<std::string, std::string> waylandSession = {};
};

class TextFieldApplication {
public:
    // What is missing to run it (empty when nothing is).
    static std::string missingPrograms(Toolkit toolkit);

    // Starts it on the display and session bus of this process's environment
    // and waits (bounded) until its window is active and the field focused.
    TextFieldApplication(Toolkit toolkit, const TextFieldSetup& setup);
    ~TextFieldApplication();
    TextFieldApplication(const TextFieldApplication&) = delete;
    TextFieldApplication& operator=(const TextFieldApplication&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    pid_t pid() const { return pid_; }

    struct FieldState {
        std::string text;
        int selectionStart = 0;
        int selectionEnd = 0;
    };
    // What the field holds now, as the application itself sees it.
    std::optional<FieldState> fieldState();

    // Ends it at once, as a crash would.
    void kill();
    // Stops and resumes it, as a hung application.
    void pause();
    void resume();

private:
    std::string readLine(std::chrono::milliseconds limit);

    TemporaryDirectory folder_;
    std::string error_;
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
};

}  // namespace tavlo::testing
