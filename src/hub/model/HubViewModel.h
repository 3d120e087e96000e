#pragma once
// The hub window's model: the section shown, the sidebar, the shared key
// capture, the close question, and one model per section. The view builds
// the section `render` names, rewrites its reusable views on `refresh`, and
// forwards every click, edit and key event here. Main thread only.
//
// One model lives as long as the window (which only hides when closed), so
// the section, the Home draft and the search survive closing and reopening.
// Destroying it ends any capture (the host switches its hot keys back on).
#include <memory>
#include <optional>

#include "hub/model/DictionaryViewModel.h"
#include "hub/model/HistoryViewModel.h"
#include "hub/model/HomeViewModel.h"
#include "hub/model/HubContext.h"
#include "hub/model/HubKeyEvent.h"
#include "hub/model/HubQuestion.h"
#include "hub/model/HubSection.h"
#include "hub/model/KeyCapture.h"
#include "hub/model/ShortcutsViewModel.h"
#include "hub/model/SnippetsViewModel.h"
#include "hub/model/TranscribeViewModel.h"

namespace tavlo {

class HubViewModel {
public:
    // Loads the Home draft from the store. Home is the selected section; the
    // view renders it once it is built (`render(HubSection::home)`).
    HubViewModel(SettingsStore& store, std::shared_ptr<HubFeedback> feedback,
                 std::shared_ptr<HubEnvironment> environment, HubLocale locale);
    ~HubViewModel();
    HubViewModel(const HubViewModel&) = delete;
    HubViewModel& operator=(const HubViewModel&) = delete;

    // The host is held weakly: once it is gone its requests are skipped.
    void setHost(std::weak_ptr<HubHost> host) { context_.setHost(std::move(host)); }
    void setViewCallbacks(HubViewCallbacks callbacks) { context_.setViewCallbacks(std::move(callbacks)); }

    // --- Shell -----------------------------------------------------------------
    HubSection selectedSection() const { return context_.selectedSection(); }
    // Shows a section: rebuilds it and refreshes (see HubViewCallbacks).
    void render(HubSection section) { context_.render(section); }
    // The window is about to show: Home reads the stored values again (see
    // storedSettingsChanged), and the reusable views are rewritten.
    void refresh();
    // The settings file changed (another program, an editor): the Home
    // fields the user has not changed show the stored values, and Home is
    // drawn again when it is shown and something changed.
    void storedSettingsChanged();
    // How the triggers reach the program changed (the desktop bound other
    // keys, or refused): Shortcuts, where it is shown, is drawn again.
    void triggerMechanismChanged() {
        if (selectedSection() == HubSection::shortcuts) render(HubSection::shortcuts);
    }
    void showShortcuts() { render(HubSection::shortcuts); }
    void showSnippets() { render(HubSection::snippets); }
    // A sidebar button (tag 0 to 3; others do nothing): tick and render.
    void sectionSelected(int tag);
    // The sidebar button with this tag is lit.
    bool isSidebarButtonOn(int tag) const;
    // The height of the shown section's panel.
    double panelHeight(HubSection section) const;

    // --- Closing ---------------------------------------------------------------
    // Absent when the window may close at once (no unsaved Home change);
    // otherwise the question to ask: Save, Discard, Cancel.
    std::optional<HubQuestion<CloseAnswer>> closeQuestion() const;
    // Acts on the answer; whether the window may close now.
    bool answerCloseQuestion(CloseAnswer answer);
    // The window was hidden: a capture in progress ends, so the host's
    // global shortcuts and triggers work again while the hub is away.
    void windowClosed();

    // --- Keys ------------------------------------------------------------------
    // Every key-down and modifier change, from the hub window and from the
    // desktop. True when handled: the view swallows an event of its own window.
    bool handleShortcutCapture(const HubKeyEvent& event) { return capture_.handle(event); }
    const KeyCapture& capture() const { return capture_; }

    // --- Sections ----------------------------------------------------------------
    HomeViewModel& home() { return home_; }
    HistoryViewModel& history() { return history_; }
    DictionaryViewModel& dictionary() { return dictionary_; }
    SnippetsViewModel& snippets() { return snippets_; }
    TranscribeViewModel& transcribe() { return transcribe_; }
    ShortcutsViewModel& shortcuts() { return shortcuts_; }
    const HomeViewModel& home() const { return home_; }
    const HistoryViewModel& history() const { return history_; }

private:
    HubContext context_;
    KeyCapture capture_;
    HomeViewModel home_;
    HistoryViewModel history_;
    DictionaryViewModel dictionary_;
    SnippetsViewModel snippets_;
    TranscribeViewModel transcribe_;
    ShortcutsViewModel shortcuts_;
};

}  // namespace tavlo
