#pragma once
// A desktop described by the test: its running applications, which one is in
// front, and this program's own identity. `activate` brings an application to
// the front and tells the activation handler, as a window manager would.
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/Workspace.h"

namespace tavlo {

class SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(RunningApplication self = {4242, "app.tavlo.Tavlo", "Tavlo"}) : self_(std::move(self)) {}

    std::optional<RunningApplication> frontmostApplication() const override { return frontmost_; }
    std::optional<RunningApplication> runningApplication(int processIdentifier) const override {
        if (processIdentifier == self_.processIdentifier) return self_;
        for (const RunningApplication& app : running_)
            if (app.processIdentifier == processIdentifier) return app;
        return std::nullopt;
    }
    RunningApplication currentApplication() const override { return self_; }
    bool isTerminated(const RunningApplication& application) const override {
        return application != self_ && !runningApplication(application.processIdentifier);
    }
    void activate(const RunningApplication& application) override {
        activations_.push_back(application);
        if (isTerminated(application)) return;
        if (refusedActivations_ > 0) {
            --refusedActivations_;
            return;
        }
        frontmost_ = application;
        if (handler_) handler_(application);
    }
    void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }

    // Adds an application to the running ones (it stays in the background).
    void launch(const RunningApplication& application) { running_.push_back(application); }
    void terminate(int processIdentifier) {
        std::erase_if(running_, [&](const RunningApplication& app) { return app.processIdentifier == processIdentifier; });
        if (frontmost_ && frontmost_->processIdentifier == processIdentifier) frontmost_.reset();
    }
    // Sets the front application without telling anyone (the state at launch).
    void setFrontmost(std::optional<RunningApplication> application) { frontmost_ = std::move(application); }
    const std::vector<RunningApplication>& activations() const { return activations_; }
    // The next `count` activation requests are ignored, as a window manager
    // that keeps focus where it is might.
    void refuseActivations(int count) { refusedActivations_ = count; }

private:
    RunningApplication self_;
    std::vector<RunningApplication> running_;
    std::optional<RunningApplication> frontmost_;
    std::vector<RunningApplication> activations_;
    ActivationHandler handler_;
    int refusedActivations_ = 0;
};

}  // namespace tavlo
