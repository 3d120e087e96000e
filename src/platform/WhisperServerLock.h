#pragma once
// At most one whisper-server of the user runs at a time. The real server binds
// its port with SO_REUSEPORT, so a second one started by another run of the
// program (the desktop program, `tavlo transcribe`, `tavlo dictate`) would
// listen next to the first and the kernel would share the requests between
// them. Runs therefore take turns through a lock: the run that holds it is
// the only one that starts a server, and it records beside the lock which
// model and language that server has, so the others can use it when it fits.
#include <optional>
#include <string>

namespace tavlo {

// What the holder of the lock started.
struct RecordedWhisperServer {
    int processIdentifier = 0;
    std::string model;
    std::string languageCode;
};

class WhisperServerLock {
public:
    virtual ~WhisperServerLock() = default;
    // Takes the lock without waiting; true when this run holds it (already
    // or now), false while another process has it. Where no lock can be kept
    // (no private folder), true: one run's server beats none.
    virtual bool tryAcquire() = 0;
    // Gives the lock back and removes the record; nothing when not held.
    virtual void release() = 0;
    // Only the holder writes the record.
    virtual void record(const RecordedWhisperServer& server) = 0;
    // The recorded server, when that process still runs as a whisper-server;
    // nothing when there is no record or its process is gone.
    virtual std::optional<RecordedWhisperServer> recorded() const = 0;
    // Ends the recorded server at once (it was found making no progress, or
    // was left by a run that ended without it). False when there is none.
    virtual bool endRecordedServer() = 0;
};

}  // namespace tavlo
