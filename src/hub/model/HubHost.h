#pragma once
// What the hub asks of the application controller. Each member maps to the
// controller's member of the same name. The hub holds its host weakly: once
// the host is gone every request is skipped.
#include <filesystem>
#include <functional>
#include <string>

#include "engine/FileTranscriptionResult.h"
#include "hub/model/TriggerMechanism.h"

namespace tavlo {

class HubHost {
public:
    using FileTranscriptionCompletion = std::function<void(const FileTranscriptionResult& result)>;

    virtual ~HubHost() = default;

    // Reinstalls the global shortcuts and triggers from the settings store.
    virtual void reloadHotKeys() = 0;
    // Warms up local Whisper when the stored engine is local Whisper.
    virtual void prepareLocalWhisperIfNeeded() = 0;
    // While true, no global shortcut or trigger acts (the hub records keys).
    // Repeating the current state does nothing.
    virtual void setShortcutCaptureActive(bool active) = 0;
    // The name of the key that acts as the function key on this desktop
    // ("Right Ctrl" where the keyboard reports no Fn key).
    virtual std::string functionKeyName() const { return "Fn"; }
    // Which global shortcuts are registered, or why some are not.
    virtual std::string shortcutStatusText() const = 0;
    // How the triggers reach the program here (X11 key grabs unless told).
    virtual TriggerMechanism triggerMechanism() const { return {}; }
    // A check started by the user, with its result shown to the user.
    virtual void checkForUpdates() = 0;
    // Puts the text on the clipboard (with the success tick).
    virtual void copyTextFromHub(const std::string& text) = 0;
    // Delivers the text into the front (or last) other application.
    virtual void pasteTextFromHub(const std::string& text) = 0;
    // Transcribes the file; `completion` runs exactly once on the main
    // thread, possibly inside this call (a refusal).
    virtual void transcribeFile(const std::filesystem::path& file, FileTranscriptionCompletion completion) = 0;
};

}  // namespace tavlo
