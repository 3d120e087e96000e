#pragma once
// The Home section: the status badge, the two triggers, the speech engine and
// language, the cloud mode and API key, the microphone, clean-up, history
// storage, update checks and the save row. Every control shows the draft;
// every change of the draft ends with a haptic tick and a new rendering of
// Home. The API key and "Check now" act at once, outside the draft.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/model/HomeDraft.h"
#include "hub/model/HubContext.h"
#include "hub/model/HubControls.h"
#include "hub/model/HubQuestion.h"
#include "hub/model/KeyCapture.h"
#include "hub/model/LanguageOptions.h"

namespace tavlo {

class HomeViewModel {
public:
    // Panel height without and with the Cloud row.
    static constexpr double basePanelHeight = 440;
    static constexpr double cloudRowHeight = 40;
    static constexpr double whisperRowHeight = 64;

    HomeViewModel(HubContext& context, KeyCapture& capture);
    ~HomeViewModel();
    HomeViewModel(const HomeViewModel&) = delete;
    HomeViewModel& operator=(const HomeViewModel&) = delete;

    // --- Draft ---------------------------------------------------------------
    const HomeDraft& draft() const { return draft_; }
    // The user changed a field of the draft from the stored value it started from.
    bool hasUnsavedChanges() const;
    // Draft = the stored values.
    void reloadDraft();
    // The stored values may have changed elsewhere (`tavlo settings set`, an
    // editor): the fields the user has not changed show them now, the
    // changed ones stay. True when the draft changed.
    bool followStoredValues();
    // Writes the fields the user changed to the store, asks the host to
    // reload its hot keys and prepare local Whisper, and ticks. The close
    // question uses it too.
    void saveDraft();

    // --- Header --------------------------------------------------------------
    // "Needs access", "Paste access", "Ready" or "Unsaved".
    std::string statusBadgeText() const;
    // Why the badge says what it says, as what to do about it ("Ready": that
    // dictation can start).
    std::string statusBadgeToolTip() const;
    // The badge asks the user to act ("Needs access", "Paste access").
    bool statusBadgeIsWarning() const;
    // The draft's engine can recognise the draft's language now.
    bool isSpeechReady() const;

    // --- Triggers ------------------------------------------------------------
    struct TriggerButton {
        enum class Kind { record, cancel, save };
        Kind kind;
        std::string title;  // "Record", "Cancel", "Save"
        bool enabled = true;
        bool operator==(const TriggerButton&) const = default;
    };
    struct TriggerRow {
        TriggerRole role;           // its value is every button's tag
        std::string title;          // "Hold" / "Press"
        std::string detail;
        bool detailIsError = false;  // the detail explains refused keys
        std::string shortcutText;   // the pill
        std::vector<TriggerButton> buttons;  // in order, left to right
    };
    // Hold, then press.
    std::array<TriggerRow, 2> triggerRows() const;
    // "Record": starts recording that trigger (tag 0 or 1 only).
    void recordTrigger(int tag);
    // "Cancel": ends any capture.
    void cancelTrigger();
    // "Save": the pending trigger goes into the draft; nothing pending: beep.
    void saveTrigger(int tag);

    // --- Speech --------------------------------------------------------------
    // Engines by name; the item's value is the engine's stored name.
    Popup enginePopup() const;
    void speechModelSelected(int index);
    const std::vector<LanguageOption>& languageOptions() const;
    // Titles of languageOptions(); each item's value is its identifier.
    Popup languagePopup() const;
    void languageSelected(const std::optional<std::string>& identifier);

    // --- Local Whisper (shown only for the local Whisper engine) --------------
    bool showsWhisperRow() const;
    // "Ready: base.en", "No model: Download base.en (142 MB)", "whisper.cpp
    // not found: how to install", "Downloading base.en: 45 MB of 142 MB", or
    // how the last download ended when it failed.
    std::string whisperStatusText() const;
    // How to install whisper.cpp, shown over the status when it is missing.
    std::string whisperStatusToolTip() const;
    struct WhisperButton {
        std::string title;  // "Download" / "Cancel"
        bool visible = false;
        bool operator==(const WhisperButton&) const = default;
    };
    WhisperButton whisperButton() const;
    // "Download": fetches the chosen model, or the one suggested for the
    // language; "Cancel": stops the download (its part is kept).
    void whisperButtonPressed();
    // Between 0 and 1 while a download with a known size runs.
    std::optional<double> whisperProgress() const;
    bool isDownloadingWhisperModel() const { return download_.has_value(); }
    // "Automatic" (value "": the usual order), then each model by name with
    // its size; installed ones are marked.
    Popup whisperModelPopup() const;
    void whisperModelSelected(const std::optional<std::string>& value);

    // --- Cloud (shown only for the OpenAI cloud engine) ----------------------
    bool showsCloudRow() const;
    Popup cloudModePopup() const;
    void openAICloudModeSelected(const std::optional<std::string>& value);
    std::string cloudStatusText() const;
    bool showsAPIKeyButton() const;
    std::string apiKeyButtonTitle() const;  // "Save key" / "Replace key"
    // The dialog to show for the key button (the view brings the program to
    // the front first).
    APIKeyDialog apiKeyDialog() const;
    // `fieldText` is the masked field's text when the dialog closed.
    // The error to show in the still open dialog when the keyring refused
    // the change; empty when the dialog may close (done, cancelled, or a
    // blank key, which only beeps).
    std::string answerAPIKeyDialog(APIKeyAnswer answer, std::string_view fieldText);

    // --- Microphone ----------------------------------------------------------
    // "System default" (value "") then one item per device; the tooltip tells
    // the microphone access.
    Popup microphonePopup() const;
    void microphoneSelected(const std::optional<std::string>& value);

    // --- Clean-up ------------------------------------------------------------
    std::string cleanupButtonTitle() const;  // "On" / "Off"
    bool cleanupButtonSelected() const;
    void toggleCleanup();

    // --- Start at login (acts at once, outside the draft) ----------------------
    std::string loginButtonTitle() const;  // "On" / "Off"
    bool loginButtonSelected() const;
    // Turns starting at login on or off at once; a refusal beeps.
    void toggleStartAtLogin();

    // --- History storage -----------------------------------------------------
    Popup storagePopup() const;
    void storageSelected(const std::optional<std::string>& value);

    // --- Updates -------------------------------------------------------------
    Popup updateFrequencyPopup() const;
    void updateFrequencySelected(const std::optional<std::string>& value);
    // "Check now": asks the host at once.
    void checkForUpdates();

    // --- Save row --------------------------------------------------------------
    // "Revert" and the save button are enabled together.
    bool saveRowEnabled() const { return hasUnsavedChanges(); }
    std::string saveButtonTitle() const;  // "Save changes" / "Saved"
    void saveChanges();
    void revertChanges();

    double panelHeight() const;

private:
    // Tick and render Home after a change of the draft.
    void draftChanged();
    // The model "Download" fetches: the draft's choice when the catalogue
    // has it, else the one suggested for the draft's language.
    const WhisperModel* modelToDownload() const;

    struct Download {
        std::string model;
        WhisperModelDownloadProgress progress;
    };
    std::optional<Download> download_;
    std::string whisperNotice_;  // how the last download failed; empty: nothing to tell
    // Held weakly by a download's callbacks, which may outlive this model.
    std::shared_ptr<HomeViewModel*> self_ = std::make_shared<HomeViewModel*>(this);

    HubContext& context_;
    KeyCapture& capture_;
    HomeDraft draft_;
    HomeDraft stored_;  // the stored values the draft started from
    mutable std::vector<LanguageOption> languageOptions_;
    mutable std::string languageOptionsFor_;
};

}  // namespace tavlo
