#include "hub/model/HomeViewModel.h"

#include <algorithm>

#include "settings/ShortcutDisplay.h"
#include "settings/TextTrimming.h"

namespace tavlo {
namespace {

template <class E> Popup enumPopup(E selected) {
    Popup popup;
    for (const E value : allCases<E>()) {
        if (value == selected) popup.selectedIndex = popup.items.size();
        popup.items.push_back({std::string(rawValue(value)), std::string(rawValue(value))});
    }
    return popup;
}

template <class E> std::optional<E> parsed(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return fromRawValue<E>(*value);
}

std::string microphoneToolTip(MicrophoneAccess access) {
    switch (access) {
    case MicrophoneAccess::authorized: return "Microphone access is available.";
    case MicrophoneAccess::notDetermined: return "The system will ask when you start dictation.";
    case MicrophoneAccess::denied:
    case MicrophoneAccess::restricted: return "Allow microphone access in your desktop's privacy settings.";
    case MicrophoneAccess::unknown: break;
    }
    return "The system returned an unknown microphone state.";
}

// The pill of a trigger, with the function key by the name of the key that
// acts as it here: the press trigger on it is a double tap.
std::string triggerText(TriggerRole role, const TriggerShortcut& trigger, const std::string& functionKey) {
    return role == TriggerRole::press ? pressTriggerDisplay(trigger, functionKey) : triggerDisplay(trigger, functionKey);
}

}  // namespace

HomeViewModel::HomeViewModel(HubContext& context, KeyCapture& capture)
    : context_(context), capture_(capture), draft_(HomeDraft::load(context.store())), stored_(draft_) {}

HomeViewModel::~HomeViewModel() {
    if (download_) context_.environment().cancelWhisperModelDownload();
}

// --- Draft ---------------------------------------------------------------------

bool HomeViewModel::hasUnsavedChanges() const { return draft_ != stored_; }

void HomeViewModel::reloadDraft() {
    stored_ = HomeDraft::load(context_.store());
    draft_ = stored_;
}

bool HomeViewModel::followStoredValues() {
    const HomeDraft before = draft_;
    const HomeDraft stored = HomeDraft::load(context_.store());
    draft_.follow(stored_, stored);
    stored_ = stored;
    return draft_ != before;
}

void HomeViewModel::saveDraft() {
    // Only what the user changed: a value changed elsewhere since Home read
    // it stays as it is now.
    draft_.saveChanges(context_.store(), stored_);
    if (const auto host = context_.host()) {
        host->reloadHotKeys();
        host->prepareLocalWhisperIfNeeded();
    }
    context_.feedback().hapticTick();
    // The store may tidy a value as it writes it (an empty microphone is no
    // microphone); the draft shows what is stored now.
    reloadDraft();
}

void HomeViewModel::draftChanged() {
    context_.feedback().hapticTick();
    context_.render(HubSection::home);
}

// --- Header --------------------------------------------------------------------

std::string HomeViewModel::statusBadgeText() const {
    HubEnvironment& environment = context_.environment();
    const MicrophoneAccess microphone = environment.microphoneAccess();
    if (microphone != MicrophoneAccess::authorized && microphone != MicrophoneAccess::notDetermined)
        return "Needs access";
    if (!isSpeechReady()) return "Needs access";
    if (context_.store().autoPaste() && !environment.accessibilityTrusted()) return "Paste access";
    return hasUnsavedChanges() ? "Unsaved" : "Ready";
}

std::string HomeViewModel::statusBadgeToolTip() const {
    HubEnvironment& environment = context_.environment();
    const MicrophoneAccess microphone = environment.microphoneAccess();
    if (microphone != MicrophoneAccess::authorized && microphone != MicrophoneAccess::notDetermined)
        return "Tavlo cannot use the microphone. " + microphoneToolTip(microphone);
    if (!isSpeechReady()) {
        std::string language = draft_.speechLanguageIdentifier;
        for (const LanguageOption& option : languageOptions())
            if (option.identifier == draft_.speechLanguageIdentifier) language = option.title;
        switch (draft_.speechModel) {
        case SpeechModel::appleOnDevice:
            if (environment.speechRecognitionAuthorization() == SpeechAuthorizationStatus::denied ||
                environment.speechRecognitionAuthorization() == SpeechAuthorizationStatus::restricted)
                return "Speech recognition is not allowed on this desktop. Choose Local Whisper or OpenAI cloud "
                       "under Speech.";
            return "The on-device engine cannot recognise " + language +
                   ". Choose another language, or Local Whisper or OpenAI cloud under Speech.";
        case SpeechModel::localWhisper:
            return "Local Whisper is not ready for " + language +
                   ". Install whisper.cpp or download a model under Whisper.";
        case SpeechModel::openAICloud:
            return "Own OpenAI key mode needs your API key. Press \"" + apiKeyButtonTitle() +
                   "\" under Cloud, or choose the Tavlo service.";
        }
    }
    if (context_.store().autoPaste() && !environment.accessibilityTrusted())
        return "Tavlo may not type into other applications here, so dictated text waits on the clipboard. "
               "Allow Tavlo in your desktop's accessibility or remote control settings.";
    if (hasUnsavedChanges()) return "Some changes below are not saved yet. Press \"Save changes\" to use them.";
    return "Ready to dictate.";
}

bool HomeViewModel::statusBadgeIsWarning() const {
    const std::string text = statusBadgeText();
    return text == "Needs access" || text == "Paste access";
}

bool HomeViewModel::isSpeechReady() const {
    HubEnvironment& environment = context_.environment();
    switch (draft_.speechModel) {
    case SpeechModel::appleOnDevice:
        switch (environment.speechRecognitionAuthorization()) {
        case SpeechAuthorizationStatus::notDetermined: return true;
        case SpeechAuthorizationStatus::authorized:
            return environment.supportsOnDeviceRecognition(draft_.speechLanguageIdentifier);
        case SpeechAuthorizationStatus::denied:
        case SpeechAuthorizationStatus::restricted: return false;
        }
        return false;
    case SpeechModel::localWhisper: return environment.localWhisperReady(draft_.speechLanguageIdentifier);
    case SpeechModel::openAICloud:
        return draft_.openAICloudMode == OpenAICloudMode::service || environment.hasOpenAIAPIKey();
    }
    return false;
}

// --- Triggers ------------------------------------------------------------------

std::array<HomeViewModel::TriggerRow, 2> HomeViewModel::triggerRows() const {
    const auto host = context_.host();
    const std::string functionKey = host ? host->functionKeyName() : "Fn";
    auto row = [this, &functionKey](TriggerRole role, std::string title, std::string detail,
                                    const TriggerShortcut& trigger) {
        TriggerRow result{role, std::move(title), std::move(detail), false, {}, {}};
        if (capture_.capturedTriggerRole() != role) {
            result.shortcutText = triggerText(role, trigger, functionKey);
            result.buttons = {{TriggerButton::Kind::record, "Record", true}};
            return result;
        }
        const auto& pending = capture_.pendingTrigger();
        // Keys refused as another action's are explained where the user looks.
        if (!capture_.conflict().empty()) {
            result.detail = capture_.conflict();
            result.detailIsError = true;
        }
        result.shortcutText = pending ? triggerText(role, *pending, functionKey) : "Press keys…";
        result.buttons = {{TriggerButton::Kind::cancel, "Cancel", true},
                          {TriggerButton::Kind::save, "Save", pending.has_value()}};
        return result;
    };
    return {row(TriggerRole::hold, "Hold", "Record while held. Release to paste.", draft_.holdTrigger),
            row(TriggerRole::press, "Press", "Press once to start. Press again to stop.", draft_.pressTrigger)};
}

void HomeViewModel::recordTrigger(int tag) {
    const auto role = triggerRoleForTag(tag);
    if (!role) return;
    context_.feedback().hapticTick();
    capture_.beginTriggerCapture(*role);
}

void HomeViewModel::cancelTrigger() {
    context_.feedback().hapticTick();
    capture_.cancel();
}

void HomeViewModel::saveTrigger(int tag) {
    const auto role = triggerRoleForTag(tag);
    if (!role || role != capture_.capturedTriggerRole()) return;
    const auto pending = capture_.pendingTrigger();
    if (!pending) {
        context_.feedback().beep();
        return;
    }
    (*role == TriggerRole::hold ? draft_.holdTrigger : draft_.pressTrigger) = *pending;
    capture_.finishTriggerCapture();
    draftChanged();
}

// --- Speech --------------------------------------------------------------------

Popup HomeViewModel::enginePopup() const {
    Popup popup = enumPopup(draft_.speechModel);
    // The stored name stays as it is everywhere; on this desktop the
    // on-device engine is not Apple's, so the menu names it by what it does.
    for (PopupItem& item : popup.items)
        if (item.value == rawValue(SpeechModel::appleOnDevice)) item.title = "On-device";
    return popup;
}

void HomeViewModel::speechModelSelected(int index) {
    const auto models = allCases<SpeechModel>();
    if (index < 0 || index >= static_cast<int>(models.size())) return;
    draft_.speechModel = models[static_cast<std::size_t>(index)];
    draftChanged();
}

const std::vector<LanguageOption>& HomeViewModel::languageOptions() const {
    if (languageOptions_.empty() || languageOptionsFor_ != draft_.speechLanguageIdentifier) {
        languageOptions_ = tavlo::languageOptions(draft_.speechLanguageIdentifier, context_.locale().localeIdentifier);
        languageOptionsFor_ = draft_.speechLanguageIdentifier;
    }
    return languageOptions_;
}

Popup HomeViewModel::languagePopup() const {
    Popup popup;
    bool selected = false;
    for (const LanguageOption& option : languageOptions()) {
        if (!selected && option.identifier == draft_.speechLanguageIdentifier) {
            popup.selectedIndex = popup.items.size();
            selected = true;
        }
        popup.items.push_back({option.title, option.identifier});
    }
    return popup;
}

void HomeViewModel::languageSelected(const std::optional<std::string>& identifier) {
    if (!identifier) return;
    draft_.speechLanguageIdentifier = *identifier;
    draftChanged();
}

// --- Local Whisper -------------------------------------------------------------

bool HomeViewModel::showsWhisperRow() const { return draft_.speechModel == SpeechModel::localWhisper; }

const WhisperModel* HomeViewModel::modelToDownload() const {
    const auto& catalogue = context_.environment().whisperModels();
    if (draft_.whisperModel)
        if (const auto* chosen = findWhisperModel(catalogue, *draft_.whisperModel)) return chosen;
    return suggestedWhisperModel(catalogue, draft_.speechLanguageIdentifier);
}

std::string HomeViewModel::whisperStatusText() const {
    if (download_) {
        const auto& progress = download_->progress;
        if (progress.phase == WhisperModelDownloadProgress::Phase::verifying) return "Checking " + download_->model;
        std::string text = "Downloading " + download_->model + ": " + byteSizeText(progress.bytes);
        if (progress.totalBytes) text += " of " + byteSizeText(*progress.totalBytes);
        return text;
    }
    if (!whisperNotice_.empty()) return whisperNotice_;
    const auto setup = context_.environment().localWhisperSetup(draft_.speechLanguageIdentifier, draft_.whisperModel);
    if (!setup.toolsFound) return "whisper.cpp not found: how to install";
    if (setup.modelInUse) {
        if (draft_.whisperModel && *draft_.whisperModel != *setup.modelInUse)
            return "Ready: " + *setup.modelInUse + " (" + *draft_.whisperModel + " is not downloaded)";
        return "Ready: " + *setup.modelInUse;
    }
    const auto* model = modelToDownload();
    if (!model) return "No model";
    return "No model: Download " + model->name + " (" + byteSizeText(model->bytes) + ")";
}

std::string HomeViewModel::whisperStatusToolTip() const {
    if (download_) return {};
    const auto setup = context_.environment().localWhisperSetup(draft_.speechLanguageIdentifier, draft_.whisperModel);
    if (setup.toolsFound) return {};
    return "Install whisper.cpp's whisper-server or whisper-cli, and ffmpeg, in /usr/local/bin or /usr/bin:\n"
           "Debian, Ubuntu: apt-get install whisper.cpp ffmpeg where packaged; elsewhere build whisper.cpp\n"
           "with cmake (cmake -B build -DBUILD_SHARED_LIBS=OFF && cmake --build build) and copy\n"
           "build/bin/whisper-server to /usr/local/bin. The README has the steps per distribution.";
}

HomeViewModel::WhisperButton HomeViewModel::whisperButton() const {
    if (download_) return {"Cancel", true};
    const auto setup = context_.environment().localWhisperSetup(draft_.speechLanguageIdentifier, draft_.whisperModel);
    const auto* model = modelToDownload();
    // Nothing to fetch once the model it would fetch is there.
    const bool installed = model && std::ranges::find(setup.installedModels, model->name) != setup.installedModels.end();
    if (!model || installed || (setup.modelInUse && !draft_.whisperModel)) return {"Download", false};
    return {"Download", true};
}

void HomeViewModel::whisperButtonPressed() {
    HubEnvironment& environment = context_.environment();
    if (download_) {
        environment.cancelWhisperModelDownload();
        return;
    }
    const WhisperModel* model = modelToDownload();
    if (!model) {
        context_.feedback().beep();
        return;
    }
    std::weak_ptr<HomeViewModel*> weak = self_;
    const bool started = environment.startWhisperModelDownload(
        *model,
        [weak](const WhisperModelDownloadProgress& progress) {
            const auto self = weak.lock();
            if (!self || !(*self)->download_) return;
            (*self)->download_->progress = progress;
            (*self)->context_.whisperDownloadProgressed();
        },
        [weak](const WhisperModelDownloadOutcome& outcome) {
            const auto self = weak.lock();
            if (!self) return;
            HomeViewModel& home = **self;
            home.download_.reset();
            using Kind = WhisperModelDownloadOutcome::Kind;
            const bool fine = outcome.kind == Kind::installed || outcome.kind == Kind::alreadyInstalled;
            home.whisperNotice_ = fine ? std::string() : outcome.message;
            if (fine) {
                // The new model may be what makes local Whisper ready.
                if (const auto host = home.context_.host()) host->prepareLocalWhisperIfNeeded();
            } else if (outcome.kind != Kind::cancelled) {
                home.context_.feedback().beep();
            }
            home.context_.render(HubSection::home);
        });
    if (!started) {
        context_.feedback().beep();
        return;
    }
    whisperNotice_.clear();
    download_ = Download{model->name, {}};
    context_.feedback().hapticTick();
    context_.render(HubSection::home);
}

std::optional<double> HomeViewModel::whisperProgress() const {
    if (!download_) return std::nullopt;
    const auto& progress = download_->progress;
    if (!progress.totalBytes || *progress.totalBytes == 0) return 0.0;
    return std::min(1.0, static_cast<double>(progress.bytes) / static_cast<double>(*progress.totalBytes));
}

Popup HomeViewModel::whisperModelPopup() const {
    const auto setup = context_.environment().localWhisperSetup(draft_.speechLanguageIdentifier, draft_.whisperModel);
    Popup popup;
    popup.items.push_back({"Automatic", ""});
    for (const auto& model : context_.environment().whisperModels()) {
        const bool installed =
            std::ranges::find(setup.installedModels, model.name) != setup.installedModels.end();
        if (draft_.whisperModel == model.name) popup.selectedIndex = popup.items.size();
        popup.items.push_back({model.name + " (" + byteSizeText(model.bytes) + (installed ? ", installed)" : ")"),
                               model.name});
    }
    // A choice made elsewhere that this catalogue does not list stays shown.
    if (draft_.whisperModel && popup.selectedIndex == 0) {
        popup.selectedIndex = popup.items.size();
        popup.items.push_back({*draft_.whisperModel, *draft_.whisperModel});
    }
    popup.toolTip = "Automatic uses base.en or tiny.en for English and base or tiny otherwise, whichever is installed.";
    return popup;
}

void HomeViewModel::whisperModelSelected(const std::optional<std::string>& value) {
    if (!value) return;
    std::optional<std::string> chosen;
    if (!value->empty()) {
        if (!isWhisperModelName(*value)) return;
        chosen = *value;
    }
    if (chosen == draft_.whisperModel) return;
    draft_.whisperModel = chosen;
    whisperNotice_.clear();
    draftChanged();
}

// --- Cloud ---------------------------------------------------------------------

bool HomeViewModel::showsCloudRow() const { return draft_.speechModel == SpeechModel::openAICloud; }

Popup HomeViewModel::cloudModePopup() const { return enumPopup(draft_.openAICloudMode); }

void HomeViewModel::openAICloudModeSelected(const std::optional<std::string>& value) {
    const auto mode = parsed<OpenAICloudMode>(value);
    if (!mode) return;
    draft_.openAICloudMode = *mode;
    draftChanged();
}

std::string HomeViewModel::cloudStatusText() const {
    if (draft_.openAICloudMode == OpenAICloudMode::service) return "Uses the Tavlo service's access token";
    return context_.environment().hasOpenAIAPIKey() ? "Key saved in the keyring" : "No API key saved";
}

bool HomeViewModel::showsAPIKeyButton() const { return draft_.openAICloudMode == OpenAICloudMode::apiKey; }

std::string HomeViewModel::apiKeyButtonTitle() const {
    return context_.environment().hasOpenAIAPIKey() ? "Replace key" : "Save key";
}

APIKeyDialog HomeViewModel::apiKeyDialog() const {
    const bool stored = context_.environment().hasOpenAIAPIKey();
    APIKeyDialog dialog;
    dialog.message = stored ? "Replace OpenAI API key?" : "Save OpenAI API key";
    dialog.informativeText = "The key is stored in your desktop keyring and is used only when Speech is set to "
                             "OpenAI cloud with Own OpenAI key.";
    dialog.placeholder = "sk-...";
    dialog.buttons.push_back({APIKeyAnswer::saveKey, "Save key"});
    if (stored) dialog.buttons.push_back({APIKeyAnswer::clearKey, "Clear key"});
    dialog.buttons.push_back({APIKeyAnswer::cancel, "Cancel"});
    return dialog;
}

std::string HomeViewModel::answerAPIKeyDialog(APIKeyAnswer answer, std::string_view fieldText) {
    HubEnvironment& environment = context_.environment();
    bool done = false;
    std::string error;
    switch (answer) {
    case APIKeyAnswer::cancel: return {};
    case APIKeyAnswer::saveKey: {
        const std::string key = trimmedWhitespaceAndNewlines(fieldText);
        if (key.empty()) {
            context_.feedback().beep();
            return {};
        }
        done = environment.storeOpenAIAPIKey(key);
        if (!done)
            error = key.find_first_of("\r\n") != std::string::npos
                        ? "The key was not saved: it holds a line break. Paste the key alone and try again."
                        : "The key was not saved: the desktop keyring refused it. Check that a keyring "
                          "(such as GNOME Keyring or KWallet) is running and unlocked, then try again.";
        break;
    }
    case APIKeyAnswer::clearKey:
        done = environment.clearOpenAIAPIKey();
        if (!done)
            error = "The key was not removed: the desktop keyring refused. Check that it is running and "
                    "unlocked, then try again.";
        break;
    }
    // A key the keyring refused (or one with a line break inside) is not
    // confirmed as stored; the Cloud row then tells what is really kept.
    if (done)
        context_.feedback().hapticTick();
    else
        context_.feedback().beep();
    context_.render(HubSection::home);
    return error;
}

// --- Microphone ----------------------------------------------------------------

Popup HomeViewModel::microphonePopup() const {
    HubEnvironment& environment = context_.environment();
    Popup popup;
    popup.items.push_back({"System default", ""});
    for (const AudioDeviceInfo& device : environment.inputDevices()) {
        // A device without an identifier could not be chosen again later.
        if (!device.uniqueID || device.uniqueID->empty()) continue;
        if (draft_.microphoneUniqueID == device.uniqueID) popup.selectedIndex = popup.items.size();
        popup.items.push_back({device.name, *device.uniqueID});
    }
    popup.toolTip = microphoneToolTip(environment.microphoneAccess());
    return popup;
}

void HomeViewModel::microphoneSelected(const std::optional<std::string>& value) {
    draft_.microphoneUniqueID = value && !value->empty() ? value : std::nullopt;
    draftChanged();
}

// --- Clean-up ------------------------------------------------------------------

std::string HomeViewModel::cleanupButtonTitle() const { return draft_.cleanupEnabled ? "On" : "Off"; }

bool HomeViewModel::cleanupButtonSelected() const { return draft_.cleanupEnabled; }

void HomeViewModel::toggleCleanup() {
    draft_.cleanupEnabled = !draft_.cleanupEnabled;
    draftChanged();
}

// --- Start at login ----------------------------------------------------------------

std::string HomeViewModel::loginButtonTitle() const { return loginButtonSelected() ? "On" : "Off"; }

bool HomeViewModel::loginButtonSelected() const { return context_.environment().startsAtLogin(); }

void HomeViewModel::toggleStartAtLogin() {
    HubEnvironment& environment = context_.environment();
    if (environment.setStartsAtLogin(!environment.startsAtLogin()))
        context_.feedback().hapticTick();
    else
        context_.feedback().beep();
    context_.render(HubSection::home);
}

// --- History storage -----------------------------------------------------------

Popup HomeViewModel::storagePopup() const {
    Popup popup;
    popup.items.push_back({"Local history", std::string(rawValue(StorageMode::local)), true});
    popup.items.push_back({"Cloud sync later", std::string(rawValue(StorageMode::cloud)), false});
    popup.selectedIndex = 0;
    return popup;
}

void HomeViewModel::storageSelected(const std::optional<std::string>& value) {
    const auto mode = parsed<StorageMode>(value);
    if (!mode) return;
    if (*mode != StorageMode::local) {
        // Cloud sync does not exist yet.
        context_.feedback().beep();
        context_.render(HubSection::home);
        return;
    }
    draft_.storageMode = StorageMode::local;
    draftChanged();
}

// --- Updates -------------------------------------------------------------------

Popup HomeViewModel::updateFrequencyPopup() const { return enumPopup(draft_.updateCheckFrequency); }

void HomeViewModel::updateFrequencySelected(const std::optional<std::string>& value) {
    const auto frequency = parsed<UpdateCheckFrequency>(value);
    if (!frequency) return;
    draft_.updateCheckFrequency = *frequency;
    draftChanged();
}

void HomeViewModel::checkForUpdates() {
    context_.feedback().hapticTick();
    if (const auto host = context_.host()) host->checkForUpdates();
}

// --- Save row ------------------------------------------------------------------

std::string HomeViewModel::saveButtonTitle() const { return hasUnsavedChanges() ? "Save changes" : "Saved"; }

void HomeViewModel::saveChanges() {
    saveDraft();
    context_.render(HubSection::home);
}

void HomeViewModel::revertChanges() {
    reloadDraft();
    context_.feedback().hapticTick();
    context_.render(HubSection::home);
}

double HomeViewModel::panelHeight() const {
    return basePanelHeight + (showsCloudRow() ? cloudRowHeight : 0) + (showsWhisperRow() ? whisperRowHeight : 0);
}

}  // namespace tavlo
