#pragma once
// What a back end that works after stop receives to report the outcome of one
// session. It names the session and holds the engine weakly, so a late reply
// for an abandoned session, or after the engine is gone, changes nothing.
// Use it on the main thread only.
#include <cstdint>
#include <memory>
#include <utility>

#include "engine/DictationResult.h"

namespace tavlo {

class DictationEngine;

class SessionCompletion {
public:
    SessionCompletion(std::weak_ptr<DictationEngine> engine, std::uint64_t sessionID)
        : engine_(std::move(engine)), sessionID_(sessionID) {}

    std::uint64_t sessionID() const noexcept { return sessionID_; }
    // The engine still exists.
    bool engineExists() const noexcept { return !engine_.expired(); }
    // The engine exists and this is still its session (finished or not).
    bool isCurrent() const;
    // Ends the session with `result`; nothing happens when the session is
    // stale, already finished, or the engine is gone.
    void finish(DictationResult result) const;

private:
    std::weak_ptr<DictationEngine> engine_;
    std::uint64_t sessionID_;
};

}  // namespace tavlo
