#include "hub/model/HubViewModel.h"

namespace tavlo {

HubViewModel::HubViewModel(SettingsStore& store, std::shared_ptr<HubFeedback> feedback,
                           std::shared_ptr<HubEnvironment> environment, HubLocale locale)
    : context_(store, std::move(feedback), std::move(environment), std::move(locale)),
      capture_(context_),
      home_(context_, capture_),
      history_(context_),
      dictionary_(context_),
      snippets_(context_),
      transcribe_(context_),
      shortcuts_(context_, capture_) {
    context_.setBeforeRefresh([this] { history_.reloadForRefresh(); });
}

HubViewModel::~HubViewModel() {
    // Whatever was being recorded, the host's keys must work again.
    if (const auto host = context_.host()) host->setShortcutCaptureActive(false);
}

void HubViewModel::sectionSelected(int tag) {
    const auto section = sidebarSection(tag);
    if (!section) return;
    context_.feedback().hapticTick();
    render(*section);
}

bool HubViewModel::isSidebarButtonOn(int tag) const { return sidebarSection(tag) == selectedSection(); }

double HubViewModel::panelHeight(HubSection section) const {
    if (const auto height = fixedPanelHeight(section)) return *height;
    return home_.panelHeight();
}

std::optional<HubQuestion<CloseAnswer>> HubViewModel::closeQuestion() const {
    if (!home_.hasUnsavedChanges()) return std::nullopt;
    return HubQuestion<CloseAnswer>{
        "Save Home changes?",
        "You changed Tavlo settings on Home. Save them before closing, discard them, or keep editing.",
        {{CloseAnswer::save, "Save"}, {CloseAnswer::discard, "Discard"}, {CloseAnswer::cancel, "Cancel"}}};
}

bool HubViewModel::answerCloseQuestion(CloseAnswer answer) {
    if (!home_.hasUnsavedChanges()) return true;
    switch (answer) {
    case CloseAnswer::save: home_.saveDraft(); break;
    case CloseAnswer::discard:
        home_.reloadDraft();
        context_.feedback().hapticTick();
        break;
    case CloseAnswer::cancel: return false;
    }
    // The hidden window keeps its controls: show the stored values there, so
    // the next opening does not show the settings just saved or dropped as
    // unsaved.
    render(selectedSection());
    return true;
}

void HubViewModel::refresh() {
    if (home_.followStoredValues() && selectedSection() == HubSection::home)
        render(HubSection::home);  // refreshes too
    else
        context_.refresh();
}

void HubViewModel::storedSettingsChanged() {
    if (home_.followStoredValues() && selectedSection() == HubSection::home) render(HubSection::home);
}

void HubViewModel::windowClosed() { capture_.cancel(); }

}  // namespace tavlo
