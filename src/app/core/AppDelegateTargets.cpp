// Which application a dictation is for: the owner of the focused text field,
// else the owner of whatever has the focus, else the front application, else
// the application the user last worked in. This program is never the target.
#include "app/core/AppDelegate.h"

namespace tavlo {

bool AppDelegate::isExternalApplication(const RunningApplication& app) const {
    if (!workspace) return true;
    const RunningApplication self = workspace->currentApplication();
    return app.processIdentifier != self.processIdentifier && app.bundleIdentifier != self.bundleIdentifier;
}

std::optional<RunningApplication> AppDelegate::preferredDictationTarget(
    const std::optional<FocusedTextSnapshot>& snapshot) const {
    if (!workspace) return lastExternalApplication_;
    auto externalOwnerOf = [&](const AccessibilityElement* element) -> std::optional<RunningApplication> {
        if (element == nullptr) return std::nullopt;
        const std::optional<int> pid = element->processIdentifier();
        if (!pid || *pid <= 0) return std::nullopt;
        auto app = workspace->runningApplication(*pid);
        if (app && isExternalApplication(*app)) return app;
        return std::nullopt;
    };
    if (snapshot)
        if (auto app = externalOwnerOf(snapshot->element.get())) return app;
    if (accessibility && accessibility->isProcessTrusted()) {
        const auto focused = accessibility->focusedElement();
        if (auto app = externalOwnerOf(focused.get())) return app;
    }
    if (auto frontmost = workspace->frontmostApplication(); frontmost && isExternalApplication(*frontmost))
        return frontmost;
    return lastExternalApplication_;
}

void AppDelegate::activeApplicationChanged(const RunningApplication& app) {
    if (isExternalApplication(app)) lastExternalApplication_ = app;
    // Back in the same application later, the caret may be anywhere.
    if (lastDeliveredDictation_ && app.processIdentifier != lastDeliveredDictation_->processIdentifier &&
        isExternalApplication(app))
        lastDeliveredDictation_->caretMayHaveMoved = true;
}

void AppDelegate::followActiveApplications() {
    if (!workspace) return;
    const auto frontmost = workspace->frontmostApplication();
    lastExternalApplication_ = frontmost && isExternalApplication(*frontmost) ? frontmost : std::nullopt;
    workspace->setActivationHandler([weak = weak_from_this()](const RunningApplication& app) {
        if (auto self = weak.lock()) self->activeApplicationChanged(app);
    });
}

std::optional<FocusedTextSnapshot> AppDelegate::focusedTextSnapshot() const {
    // No trust check first: an untrusted program simply reads nothing.
    if (!accessibility) return std::nullopt;
    std::shared_ptr<AccessibilityElement> element = accessibility->focusedElement();
    if (!element) return std::nullopt;
    std::optional<std::string> value = element->value();
    if (!value) return std::nullopt;
    std::optional<TextRange> range = element->selectedTextRange();
    return FocusedTextSnapshot{std::move(element), std::move(*value), range};
}

}  // namespace tavlo
