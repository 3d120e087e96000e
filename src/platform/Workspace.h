#pragma once
// The desktop's applications as the controller sees them: which one has the
// keyboard focus, which one runs under a process id, and which one is this
// program. Delivery brings a target to the front through it, and the
// controller follows activations to remember the last application the user
// worked in.
#include <functional>
#include <optional>

#include "platform/RunningApplication.h"

namespace tavlo {

class Workspace {
public:
    using ActivationHandler = std::function<void(const RunningApplication& application)>;

    virtual ~Workspace() = default;

    // The application that has the keyboard focus; absent when none can be told.
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // The running application with this process id; absent when there is none.
    virtual std::optional<RunningApplication> runningApplication(int processIdentifier) const = 0;
    // This program, as the desktop knows it.
    virtual RunningApplication currentApplication() const = 0;
    virtual bool isTerminated(const RunningApplication& application) const = 0;
    // Asks the desktop to bring the application to the front; it may refuse.
    virtual void activate(const RunningApplication& application) = 0;
    // `handler` runs on the main thread each time an application becomes
    // active, replacing any earlier handler.
    virtual void setActivationHandler(ActivationHandler handler) = 0;
};

}  // namespace tavlo
