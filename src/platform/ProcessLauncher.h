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
    std::string path;  // for `file`: opened for appending, created when missing

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
    // Asks the child to end (SIGTERM). Harmless after it has ended.
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
    // Runs once on a background thread after the child ended and every piped
    // stream was read to its end.
    using TerminationHandler = std::function<void(const ProcessTermination&)>;

    virtual ~ProcessLauncher() = default;
    // Starts the child; on failure the handler is never called.
    virtual ProcessLaunch launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) = 0;
};

}  // namespace tavlo
