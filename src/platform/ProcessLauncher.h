#pragma once
// Starting outside programs (ffmpeg, whisper-cli, whisper-server) as child
// processes. The executable is started directly with an argument list: no
// shell is involved, so file names with spaces, quotes or any other letters
// reach the child byte for byte.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavlo {

// Where one of the child's output streams goes. Standard input is always
// empty (the null device), so a child never reads the program's terminal.
struct ProcessOutput {
    enum class Kind { discard, pipe, file };
    Kind kind = Kind::discard;
    // For `file`: created new for the child (an earlier file of that name is
    // removed first), readable by the user only, never through a symbolic link.
    std::string path;

    static ProcessOutput discarded() { return {}; }
    static ProcessOutput toPipe() { return {Kind::pipe, {}}; }
    static ProcessOutput toFile(std::string filePath) { return {Kind::file, std::move(filePath)}; }
};

struct ProcessSpec {
    std::string executable;                // absolute path; never looked up in PATH
    std::vector<std::string> arguments;    // without the program name
    // The child gets the program's own environment with these variables set
    // (replacing any earlier value).
    std::map<std::string, std::string> environmentOverrides;
    ProcessOutput standardOutput;
    ProcessOutput standardError;
    // The child is killed when this program ends, however it ends (a crash or
    // SIGKILL included), so a long-running helper is never left behind. It is
    // tied to the thread that launches it: launch such children only from a
    // thread that lives as long as the program (the main thread).
    bool endsWithProgram = false;
};

struct ProcessTermination {
    enum class Reason { exited, signalled };
    Reason reason = Reason::exited;
    int status = 0;              // exit status, or the signal number
    std::string standardOutput;  // everything written to a piped stream, else empty
    std::string standardError;

    // The status a caller compares with zero: a signal never reads as success.
    bool succeeded() const { return reason == Reason::exited && status == 0; }
};

class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // False once the child has ended and its termination is known.
    virtual bool isRunning() const = 0;
    // Asks the child to end with one SIGTERM; a child still running
    // kTerminationGrace later is killed (SIGKILL). Harmless after it has
    // ended or when asked again: a second SIGTERM is never sent, since some
    // programs (whisper-server) take it as "abandon the graceful shutdown".
    virtual void terminate() = 0;
    virtual int processIdentifier() const = 0;
};

struct ProcessLaunch {
    std::shared_ptr<ChildProcess> process;  // absent when the launch failed
    std::string error;                      // why it failed, readable by the user
    int errorCode = 0;                      // the system's error number, when there is one

    explicit operator bool() const { return process != nullptr; }
};

class ProcessLauncher {
public:
    static constexpr int kTerminationGraceMilliseconds = 3000;

    // Runs once on a background thread after the child ended and every piped
    // stream was read to its end.
    using TerminationHandler = std::function<void(const ProcessTermination&)>;

    virtual ~ProcessLauncher() = default;
    // Starts the child; on failure the handler is never called.
    virtual ProcessLaunch launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) = 0;
};

}  // namespace tavlo
