#pragma once
// The Home window's requests, answered by the application controller. The
// window may outlive the controller during shutdown: the controller is held
// weakly, and once it is gone every request is skipped (a transcription then
// never completes, as the window is going too).
#include <memory>

#include "app/core/AppDelegate.h"
#include "hub/model/HubHost.h"

namespace tavlo {

class ControllerHubHost final : public HubHost {
public:
    explicit ControllerHubHost(std::weak_ptr<AppDelegate> controller) : controller_(std::move(controller)) {}

    void reloadHotKeys() override {
        if (auto c = controller_.lock()) c->reloadHotKeys();
    }
    void prepareLocalWhisperIfNeeded() override {
        if (auto c = controller_.lock()) c->prepareLocalWhisperIfNeeded();
    }
    void setShortcutCaptureActive(bool active) override {
        if (auto c = controller_.lock()) c->setShortcutCaptureActive(active);
    }
    std::string functionKeyName() const override {
        if (auto c = controller_.lock()) return c->functionKeyName();
        return "Fn";
    }
    std::string shortcutStatusText() const override {
        if (auto c = controller_.lock()) return c->shortcutStatusText();
        return "All shortcuts registered";
    }
    TriggerMechanism triggerMechanism() const override {
        if (auto c = controller_.lock()) return c->triggerMechanism();
        return {};
    }
    void checkForUpdates() override {
        if (auto c = controller_.lock()) c->checkForUpdates();
    }
    void copyTextFromHub(const std::string& text) override {
        if (auto c = controller_.lock()) c->copyTextFromHub(text);
    }
    void pasteTextFromHub(const std::string& text) override {
        if (auto c = controller_.lock()) c->pasteTextFromHub(text);
    }
    void transcribeFile(const std::filesystem::path& file, FileTranscriptionCompletion completion) override {
        if (auto c = controller_.lock()) c->transcribeFile(file, std::move(completion));
    }

private:
    std::weak_ptr<AppDelegate> controller_;
};

}  // namespace tavlo
