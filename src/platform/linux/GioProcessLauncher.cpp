#include "platform/linux/GioProcessLauncher.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tavlo {
namespace {

class GioChildProcess final : public ChildProcess {
public:
    GioChildProcess(GSubprocess* subprocess, int pid) : subprocess_(subprocess), pid_(pid) {}
    ~GioChildProcess() override { g_object_unref(subprocess_); }

    bool isRunning() const override { return running_.load(); }
    // GLib sends the signal from the same thread that reaps the child, so it
    // is never delivered to a process id that was already given back.
    void terminate() override { g_subprocess_send_signal(subprocess_, SIGTERM); }
    int processIdentifier() const override { return pid_; }

    GSubprocess* subprocess() const { return subprocess_; }
    void markEnded() { running_.store(false); }

private:
    GSubprocess* subprocess_;
    int pid_;
    std::atomic<bool> running_{true};
};

std::string takeBytes(GBytes* bytes) {
    if (!bytes) return {};
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data ? data : "", data ? size : 0);
    g_bytes_unref(bytes);
    return text;
}

// Blocks until the child has ended and its pipes are drained.
ProcessTermination waitForEnd(GSubprocess* subprocess, bool pipedOut, bool pipedErr) {
    ProcessTermination termination;
    if (pipedOut || pipedErr) {
        GBytes* out = nullptr;
        GBytes* err = nullptr;
        GError* error = nullptr;
        g_subprocess_communicate(subprocess, nullptr, nullptr, pipedOut ? &out : nullptr,
                                 pipedErr ? &err : nullptr, &error);
        g_clear_error(&error);
        termination.standardOutput = takeBytes(out);
        termination.standardError = takeBytes(err);
    }
    // Also after a failed read, so the status is always the real one.
    g_subprocess_wait(subprocess, nullptr, nullptr);
    if (g_subprocess_get_if_signaled(subprocess)) {
        termination.reason = ProcessTermination::Reason::signalled;
        termination.status = g_subprocess_get_term_sig(subprocess);
    } else {
        termination.reason = ProcessTermination::Reason::exited;
        termination.status = g_subprocess_get_exit_status(subprocess);
    }
    return termination;
}

struct LauncherHandle {
    GSubprocessLauncher* launcher;
    ~LauncherHandle() { g_object_unref(launcher); }
};

// Opens a log file for appending; the launcher owns the descriptor afterwards.
int openForAppend(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

}  // namespace

GioProcessLauncher::~GioProcessLauncher() {
    std::vector<Watch> watches;
    {
        std::lock_guard lock(mutex_);
        watches.swap(watches_);
    }
    for (auto& watch : watches)
        if (watch.process->isRunning()) watch.process->terminate();
    for (auto& watch : watches) watch.waiter.join();
}

void GioProcessLauncher::joinEndedWaiters() {
    std::vector<Watch> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = watches_.begin(); it != watches_.end();) {
            // A handler that launches again must not join its own thread.
            if (!it->process->isRunning() && it->waiter.get_id() != std::this_thread::get_id()) {
                ended.push_back(std::move(*it));
                it = watches_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // A waiter marks its child ended just before running the handler, so the
    // join may wait for a handler that is still finishing.
    for (auto& watch : ended) watch.waiter.join();
}

ProcessLaunch GioProcessLauncher::launch(const ProcessSpec& spec, TerminationHandler onTermination) {
    joinEndedWaiters();
    if (spec.executable.empty() || spec.executable.front() != '/')
        return {nullptr, "The program path \"" + spec.executable + "\" is not absolute."};

    const bool pipedOut = spec.standardOutput.kind == ProcessOutput::Kind::pipe;
    const bool pipedErr = spec.standardError.kind == ProcessOutput::Kind::pipe;
    int flags = G_SUBPROCESS_FLAGS_NONE;  // standard input is the null device by default
    if (pipedOut) flags |= G_SUBPROCESS_FLAGS_STDOUT_PIPE;
    if (spec.standardOutput.kind == ProcessOutput::Kind::discard) flags |= G_SUBPROCESS_FLAGS_STDOUT_SILENCE;
    if (pipedErr) flags |= G_SUBPROCESS_FLAGS_STDERR_PIPE;
    if (spec.standardError.kind == ProcessOutput::Kind::discard) flags |= G_SUBPROCESS_FLAGS_STDERR_SILENCE;
    LauncherHandle handle{g_subprocess_launcher_new(static_cast<GSubprocessFlags>(flags))};

    gchar** environment = g_get_environ();
    for (const auto& [name, value] : spec.environmentOverrides)
        environment = g_environ_setenv(environment, name.c_str(), value.c_str(), TRUE);
    g_subprocess_launcher_set_environ(handle.launcher, environment);
    g_strfreev(environment);

    // Both streams into one file share a descriptor, so their lines interleave
    // in the order they were written.
    int outFile = -1;
    if (spec.standardOutput.kind == ProcessOutput::Kind::file) {
        outFile = openForAppend(spec.standardOutput.path);
        if (outFile < 0)
            return {nullptr, "Could not open \"" + spec.standardOutput.path + "\": " + std::strerror(errno)};
        g_subprocess_launcher_take_stdout_fd(handle.launcher, outFile);
    }
    if (spec.standardError.kind == ProcessOutput::Kind::file) {
        const bool same = outFile >= 0 && spec.standardError.path == spec.standardOutput.path;
        const int errFile = same ? ::fcntl(outFile, F_DUPFD_CLOEXEC, 3) : openForAppend(spec.standardError.path);
        if (errFile < 0)
            return {nullptr, "Could not open \"" + spec.standardError.path + "\": " + std::strerror(errno)};
        g_subprocess_launcher_take_stderr_fd(handle.launcher, errFile);
    }

    std::vector<gchar*> argv;
    argv.push_back(const_cast<gchar*>(spec.executable.c_str()));
    for (const auto& argument : spec.arguments) argv.push_back(const_cast<gchar*>(argument.c_str()));
    argv.push_back(nullptr);

    GError* error = nullptr;
    GSubprocess* subprocess = g_subprocess_launcher_spawnv(handle.launcher, argv.data(), &error);
    if (!subprocess) {
        std::string message = error ? error->message : "The program could not be started.";
        g_clear_error(&error);
        return {nullptr, message};
    }
    const char* identifier = g_subprocess_get_identifier(subprocess);
    auto child = std::make_shared<GioChildProcess>(subprocess, identifier ? std::atoi(identifier) : -1);

    std::thread waiter([child, pipedOut, pipedErr, handler = std::move(onTermination)] {
        const ProcessTermination termination = waitForEnd(child->subprocess(), pipedOut, pipedErr);
        child->markEnded();
        if (handler) handler(termination);
    });
    {
        std::lock_guard lock(mutex_);
        watches_.push_back({child, std::move(waiter)});
    }
    return {child, {}};
}

}  // namespace tavlo
