#pragma once
// The Home window: a sidebar on the left and one section at a time on the
// right, drawn from HubViewModel and forwarding every click, edit and key to
// it. It is made once and only hidden when closed, so the section shown, the
// Home draft and the history search are there again when it reopens.
#include <QWidget>

#include <map>
#include <memory>

#include "hub/model/HubViewModel.h"
#include "platform/KeyEventSource.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace tavlo::hub {

class HubTextView;

class HubWindow : public QWidget {
public:
    // `desktopKeys` reports keys while another application is in front (and
    // in this window too), for recording shortcuts and triggers; null where
    // the desktop offers none.
    HubWindow(std::unique_ptr<HubViewModel> model, std::shared_ptr<KeyEventSource> desktopKeys);
    ~HubWindow() override;

    HubViewModel& model() { return *model_; }
    // Shows the window in front with its data refreshed.
    void showHub();
    void showShortcuts();

    // For tests: the sidebar button of a tag, and the section's built panel.
    QPushButton* sectionButton(int tag) const;
    QWidget* contentView() const { return content_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSidebar(QVBoxLayout* layout);
    void updateSidebarSelection();
    void render(HubSection section);
    void refresh();
    void refreshHistory();
    // The Speech row's download status and progress bar, rewritten in place.
    void refreshWhisperDownload();
    void parkReusableViews();
    void startDesktopKeys();

    QWidget* homeView();
    QWidget* historyView();
    QWidget* dictionaryView();
    QWidget* snippetsView();
    QWidget* transcribeView();
    QWidget* shortcutsView();
    // How the triggers reach the program here, with the keys or commands.
    QWidget* triggerMechanismView();
    QWidget* triggerRow(const HomeViewModel::TriggerRow& row);
    void askForAPIKey();
    // Before the Dictionary section is left (or the window closed) with
    // edits not saved: asks whether to save them; false when the user
    // chose to stay.
    bool mayLeaveDictionary();
    void chooseTranscriptionFile();

    std::unique_ptr<HubViewModel> model_;
    std::shared_ptr<KeyEventSource> desktopKeys_;
    std::uint32_t heldModifiers_ = 0;
    bool functionKeyDown_ = false;

    std::map<int, QPushButton*> sectionButtons_;
    QWidget* content_ = nullptr;
    QVBoxLayout* contentLayout_ = nullptr;
    QWidget* currentSection_ = nullptr;
    // Keeps the reusable views while their section is not shown.
    QWidget* parking_ = nullptr;
    bool refreshing_ = false;

    // Made once and reused by every rendering of their section, so what the
    // user typed survives switching sections.
    QLineEdit* historySearchField_ = nullptr;
    QTableWidget* historyTable_ = nullptr;
    HubTextView* historyDetailTextView_ = nullptr;
    HubTextView* dictionaryTextView_ = nullptr;
    HubTextView* fileTranscriptTextView_ = nullptr;
    QListWidget* snippetsList_ = nullptr;
    QLineEdit* dictionaryField_ = nullptr;
    QLineEdit* snippetPhraseField_ = nullptr;
    HubTextView* snippetExpansionField_ = nullptr;
};

}  // namespace tavlo::hub
