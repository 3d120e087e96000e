#include "engine/session/SessionCompletion.h"

#include "engine/DictationEngine.h"

namespace tavlo {

bool SessionCompletion::isCurrent() const {
    auto engine = engine_.lock();
    return engine && engine->sessionID == sessionID_;
}

void SessionCompletion::finish(DictationResult result) const {
    if (auto engine = engine_.lock()) engine->finish(std::move(result), sessionID_);
}

}  // namespace tavlo
