// The Home window's widgets on the offscreen platform: every section builds
// from its model, clicks and typing reach the model and the store, and the
// window keeps its state when it is closed and opened again.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "hub/FileDropView.h"
#include "hub/HubStyle.h"
#include "hub/HubWindow.h"
#include "hub/model/HubTestSupport.h"

QT_BEGIN_NAMESPACE
// Readable failures for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tavlo::testing {
namespace {

void ensureOffscreenApplication() {
    static int argc = 1;
    static char name[] = "tests_hub";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QApplication(argc, argv);
}

template <class Widget> Widget* find(QWidget* root, const char* name) {
    return root->findChild<Widget*>(QString::fromLatin1(name));
}

QPushButton* buttonTitled(QWidget* root, const QString& title) {
    for (auto* button : root->findChildren<QPushButton*>())
        if (button->text() == title && button->isVisibleTo(root)) return button;
    return nullptr;
}

// Answers the next modal message box with the button of that title.
void answerNextQuestion(const QString& title) {
    QTimer::singleShot(0, [title] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == title) return button->click();
        FAIL() << "no button " << title.toStdString();
    });
}

class HubWindowTest : public HubModelTest {
protected:
    void SetUp() override {
        ensureOffscreenApplication();
        hub.reset();
        auto model = std::make_unique<HubViewModel>(store, feedback, environment, HubLocale{"en_US", "UTC"});
        model->setHost(appHost);
        window = std::make_unique<hub::HubWindow>(std::move(model), nullptr);
        window->showHub();
    }
    void TearDown() override {
        window.reset();
        QApplication::processEvents();
    }
    QWidget* content() { return window->contentView(); }
    void click(QPushButton* button) {
        ASSERT_TRUE(button);
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }

    std::unique_ptr<hub::HubWindow> window;
};

TEST_F(HubWindowTest, EverySectionBuildsItsPanelAndTheSidebarLightsOnlyItsOwnButton) {
    struct Case {
        HubSection section;
        const char* title;  // absent for Home
        int panelHeight;
        std::optional<int> litTag;
    };
    const Case cases[] = {
        {HubSection::home, nullptr, int(HomeViewModel::basePanelHeight), 0},
        {HubSection::history, "History", 430, 1},
        {HubSection::dictionary, "Dictionary", 390, 2},
        {HubSection::transcribe, "Transcribe", 462, 3},
        {HubSection::snippets, "Snippets", 356, std::nullopt},
        {HubSection::shortcuts, "Shortcuts", 356, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sectionTitle(c.section)));
        window->model().render(c.section);
        QApplication::processEvents();
        auto* panel = find<QFrame>(content(), "signalPanel");
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->height(), c.panelHeight);
        bool titled = false;
        for (auto* label : content()->findChildren<QLabel*>())
            titled = titled || (c.title && label->text() == QString::fromLatin1(c.title));
        EXPECT_EQ(titled, c.title != nullptr);
        for (int tag = 0; tag < 4; ++tag)
            EXPECT_EQ(window->sectionButton(tag)->styleSheet().contains("background: rgba"), c.litTag == tag)
                << "tag " << tag;
    }
    // The sidebar's buttons switch sections.
    click(window->sectionButton(3));
    EXPECT_EQ(window->model().selectedSection(), HubSection::transcribe);
}

TEST_F(HubWindowTest, HomeEditsTheDraftAndStoresItOnlyWhenSaved) {
    auto* save = find<QPushButton>(content(), "saveButton");
    ASSERT_TRUE(save);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(save->text(), "Saved");
    const bool stored = store.cleanupEnabled();

    click(find<QPushButton>(content(), "cleanupButton"));
    EXPECT_EQ(store.cleanupEnabled(), stored);
    save = find<QPushButton>(content(), "saveButton");
    EXPECT_EQ(save->text(), "Save changes");
    EXPECT_EQ(find<QLabel>(content(), "statusBadge")->text(), "Unsaved");
    click(save);
    EXPECT_EQ(store.cleanupEnabled(), !stored);
    EXPECT_EQ(find<QPushButton>(content(), "saveButton")->text(), "Saved");
    EXPECT_NE(std::find(appHost->calls.begin(), appHost->calls.end(), "reloadHotKeys"), appHost->calls.end());

    // Choosing an engine from the pop-up reaches the draft; Revert drops it.
    auto* engine = find<QComboBox>(content(), "enginePopup");
    ASSERT_TRUE(engine);
    const int other = (engine->currentIndex() + 1) % engine->count();
    emit engine->activated(other);
    QApplication::processEvents();
    EXPECT_EQ(find<QComboBox>(content(), "enginePopup")->currentIndex(), other);
    click(find<QPushButton>(content(), "revertButton"));
    EXPECT_FALSE(window->model().home().hasUnsavedChanges());
}

TEST_F(HubWindowTest, WhisperRowDownloadsWithAProgressBarAndCancel) {
    environment->whisper = {true, std::nullopt, {}};
    window->model().home().speechModelSelected(1);  // local Whisper
    QApplication::processEvents();
    EXPECT_EQ(find<QLabel>(content(), "whisperStatus")->text(), "No model: Download base.en (142 MB)");
    EXPECT_FALSE(find<QProgressBar>(content(), "whisperProgress")->isVisibleTo(content()));
    EXPECT_TRUE(find<QComboBox>(content(), "whisperModelPopup")->isVisibleTo(content()));

    click(find<QPushButton>(content(), "whisperButton"));
    EXPECT_EQ(environment->downloads, std::vector<std::string>{"base.en"});
    auto* button = find<QPushButton>(content(), "whisperButton");
    EXPECT_EQ(button->text(), "Cancel");
    auto* progress = find<QProgressBar>(content(), "whisperProgress");
    auto* status = find<QLabel>(content(), "whisperStatus");
    EXPECT_TRUE(progress->isVisibleTo(content()));

    // Progress updates the same widgets: an open pop-up or the focus elsewhere on Home stays.
    environment->downloadProgress({WhisperModelDownloadProgress::Phase::downloading, 71 << 20, 142 << 20});
    QApplication::processEvents();
    EXPECT_EQ(find<QLabel>(content(), "whisperStatus"), status);
    EXPECT_EQ(status->text(), "Downloading base.en: 71 MB of 142 MB");
    EXPECT_EQ(progress->value(), 500);

    click(button);
    EXPECT_EQ(environment->downloadCancels, 1);
    environment->downloadFinished({WhisperModelDownloadOutcome::Kind::cancelled, "Stopped.", {}});
    QApplication::processEvents();
    EXPECT_EQ(find<QPushButton>(content(), "whisperButton")->text(), "Download");
    EXPECT_EQ(find<QLabel>(content(), "whisperStatus")->text(), "Stopped.");
}

TEST_F(HubWindowTest, RecordingATriggerShowsCancelAndSaveAndEscapeEndsIt) {
    click(buttonTitled(content(), "Record"));
    EXPECT_EQ(appHost->calls.back(), "captureActive(true)");
    EXPECT_TRUE(buttonTitled(content(), "Cancel"));
    auto* save = buttonTitled(content(), "Save");
    ASSERT_TRUE(save);
    EXPECT_FALSE(save->isEnabled());

    // Escape typed in the window ends the capture and never reaches a field.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(appHost->calls.back(), "captureActive(false)");
    EXPECT_FALSE(window->model().capture().isActive());
    EXPECT_FALSE(buttonTitled(content(), "Cancel"));
}

TEST_F(HubWindowTest, HistorySearchesAsTheUserTypesAndClearsWithTheList) {
    const Date now = dateFromReferenceSeconds(800000000);
    store.setRecent({{now, "Mail", "Send the report today"}, {now, "Editor", "fix the build"}});
    click(window->sectionButton(1));
    auto* table = find<QTableWidget>(content(), "historyTable");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 1)->text(), "Send the report today");
    auto* detail = find<hub::HubTextView>(content(), "historyDetail");
    EXPECT_TRUE(detail->toPlainText().endsWith("Mail\n\nSend the report today"));

    QTest::keyClicks(find<QLineEdit>(content(), "historySearch"), "EDIT");
    QApplication::processEvents();
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 1)->text(), "fix the build");

    // Clearing asks first; Cancel keeps everything.
    answerNextQuestion("Cancel");
    click(buttonTitled(content(), "Clear history"));
    EXPECT_EQ(store.recent().size(), 2u);
    answerNextQuestion("Clear history");
    click(buttonTitled(content(), "Clear history"));
    EXPECT_TRUE(store.recent().empty());
    EXPECT_EQ(find<QLineEdit>(content(), "historySearch")->text(), "");
    EXPECT_EQ(find<hub::HubTextView>(content(), "historyDetail")->toPlainText(), "No dictations yet.");
}

TEST_F(HubWindowTest, AClickOnAHistoryRowOnlyShowsItAndPastingTakesADeliberateAct) {
    const Date now = dateFromReferenceSeconds(800000000);
    store.setRecent({{now, "Mail", "Send the report today"}, {now, "Editor", "private note"}});
    click(window->sectionButton(1));
    auto* table = find<QTableWidget>(content(), "historyTable");
    ASSERT_TRUE(table);
    auto* detail = find<hub::HubTextView>(content(), "historyDetail");
    const auto pastes = [this] {
        std::vector<std::string> found;
        for (const auto& call : takeHostCalls())
            if (call.starts_with("paste:")) found.push_back(call);
        return found;
    };
    takeHostCalls();

    // A single click selects and shows the row; nothing leaves the window.
    const QRect second = table->visualRect(table->model()->index(1, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, second.center());
    QApplication::processEvents();
    EXPECT_EQ(table->currentRow(), 1);
    EXPECT_TRUE(detail->toPlainText().endsWith("Editor\n\nprivate note"));
    EXPECT_TRUE(pastes().empty());

    // Enter in the table, a double click and the button each paste once.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(pastes(), std::vector<std::string>{"paste:private note"});
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, second.center());
    QApplication::processEvents();
    EXPECT_EQ(pastes(), std::vector<std::string>{"paste:private note"});
    click(buttonTitled(content(), "Paste selected"));
    EXPECT_EQ(pastes(), std::vector<std::string>{"paste:private note"});
}

TEST_F(HubWindowTest, AKeyTheKeyringRefusesIsReportedInTheDialogWhichStaysOpen) {
    store.setSpeechModel(SpeechModel::openAICloud);
    store.setOpenAICloudMode(OpenAICloudMode::apiKey);
    window->model().home().reloadDraft();
    window->model().render(HubSection::home);
    QApplication::processEvents();
    secrets.setFailing(true);
    bool stayedOpen = false;
    QString shownError;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        QTest::keyClicks(dialog->findChild<QLineEdit*>("apiKeyField"), "sk-new");
        click(buttonTitled(dialog, "Save key"));
        stayedOpen = dialog->isVisible();
        auto* error = dialog->findChild<QLabel*>("apiKeyError");
        shownError = error && error->isVisibleTo(dialog) ? error->text() : QString();
        // With the keyring working again the same press saves and closes.
        secrets.setFailing(false);
        click(buttonTitled(dialog, "Save key"));
    });
    click(buttonTitled(content(), "Save key"));
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(shownError.contains("the desktop keyring refused it")) << shownError.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(store.openAIAPIKey(), "sk-new");
}

TEST_F(HubWindowTest, ControlsAreNamedByTheirLabelsNotTheirValues) {
    window->model().render(HubSection::home);
    QApplication::processEvents();
    EXPECT_EQ(find<QComboBox>(content(), "enginePopup")->accessibleName(), "Speech engine");
    EXPECT_EQ(find<QComboBox>(content(), "languagePopup")->accessibleName(), "Speech language");
    EXPECT_EQ(find<QPushButton>(content(), "cleanupButton")->accessibleName(), "Cleanup");
    EXPECT_EQ(find<QPushButton>(content(), "loginButton")->accessibleName(), "Start at login");
    QStringList recordNames;
    for (auto* button : content()->findChildren<QPushButton*>())
        if (button->text() == "Record") recordNames << button->accessibleName();
    recordNames.sort();
    EXPECT_EQ(recordNames, (QStringList{"Record hold trigger", "Record press trigger"}));

    window->model().render(HubSection::shortcuts);
    QApplication::processEvents();
    const auto records = content()->findChildren<QPushButton*>("recordShortcut");
    ASSERT_EQ(records.size(), 5);
    EXPECT_EQ(records.front()->accessibleName(), "Record Hands-free toggle shortcut");
}

TEST_F(HubWindowTest, ShortcutsShowTheKeysTheDesktopBoundAndFollowItsChanges) {
    auto shown = [this] {
        QStringList keys;
        for (auto* label : content()->findChildren<QLabel*>("boundTrigger"))
            keys << label->accessibleName() + ": " + label->text();
        return keys;
    };
    auto heading = [this] { return find<QLabel>(content(), "triggerMechanismHeading")->text(); };
    window->model().showShortcuts();
    QApplication::processEvents();
    EXPECT_TRUE(heading().startsWith("Active: X11 key grabs.")) << heading().toStdString();
    EXPECT_TRUE(shown().isEmpty());

    appHost->mechanism = {TriggerMechanism::Kind::desktopShortcuts, {{"Hold to dictate", "Ctrl+Alt+Space"}}, {}};
    window->model().triggerMechanismChanged();
    QApplication::processEvents();
    EXPECT_EQ(shown(), QStringList{"Hold to dictate: Ctrl+Alt+Space"});
    // The user chose other keys in the desktop's settings.
    appHost->mechanism.bindings = {{"Hold to dictate", "Super+F9"}, {"Clean up", "Super+4"}};
    window->model().triggerMechanismChanged();
    QApplication::processEvents();
    EXPECT_EQ(shown(), (QStringList{"Hold to dictate: Super+F9", "Clean up: Super+4"}));
    EXPECT_TRUE(heading().startsWith("Active: the desktop's global shortcuts.")) << heading().toStdString();
}

TEST_F(HubWindowTest, DictionaryAndSnippetsWriteTheStoreAtOnce) {
    click(window->sectionButton(2));
    auto* field = find<QLineEdit>(content(), "dictionaryField");
    ASSERT_TRUE(field);
    QTest::keyClicks(field, "  Kubernetes  ");
    QTest::keyClick(field, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(store.dictionaryWords(), std::vector<std::string>{"Kubernetes"});
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(find<hub::HubTextView>(content(), "dictionaryText")->toPlainText(), "Kubernetes");

    window->model().showSnippets();
    QApplication::processEvents();
    const auto before = store.snippets().size();
    QTest::keyClicks(find<QLineEdit>(content(), "snippetPhrase"), "my address");
    QTest::keyClicks(find<hub::HubTextView>(content(), "snippetExpansion"), "1 Main Street");
    click(buttonTitled(content(), "Add"));
    ASSERT_EQ(store.snippets().size(), before + 1);
    EXPECT_EQ(store.snippets().back().phrase, "my address");
    auto* list = find<QListWidget>(content(), "snippetsList");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->item(list->count() - 1)->text(), "\"my address\" \u2192 1 Main Street");
}

TEST_F(HubWindowTest, RemovingAsksFirstAndSnippetsCanBeEditedAndDeleted) {
    store.setDictionaryWords({"Kubernetes", "Tavlo"});
    click(window->sectionButton(2));
    answerNextQuestion("Cancel");
    click(buttonTitled(content(), "Clear"));
    EXPECT_EQ(store.dictionaryWords().size(), 2u);
    answerNextQuestion("Clear");
    click(buttonTitled(content(), "Clear"));
    EXPECT_TRUE(store.dictionaryWords().empty());

    // Unsaved dictionary edits are asked about when the user leaves the section.
    find<hub::HubTextView>(content(), "dictionaryText")->setPlainText("Grafana");
    answerNextQuestion("Cancel");
    click(window->sectionButton(1));
    EXPECT_EQ(window->model().selectedSection(), HubSection::dictionary);
    answerNextQuestion("Save");
    click(window->sectionButton(1));
    EXPECT_EQ(window->model().selectedSection(), HubSection::history);
    EXPECT_EQ(store.dictionaryWords(), std::vector<std::string>{"Grafana"});

    // A chosen snippet fills the fields; Save replaces it, Delete removes it after asking.
    window->model().showSnippets();
    QApplication::processEvents();
    auto* list = find<QListWidget>(content(), "snippetsList");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "\"insert signature\" \u2192 Best,\u21b5[Your name]");
    list->setCurrentRow(0);
    auto* expansion = find<hub::HubTextView>(content(), "snippetExpansion");
    EXPECT_EQ(expansion->toPlainText(), "Best,\n[Your name]");
    expansion->setPlainText("Kind regards,\nSam");
    click(buttonTitled(content(), "Save"));
    EXPECT_EQ(store.snippets()[0], (VoiceSnippet{"insert signature", "Kind regards,\nSam"}));

    list->setCurrentRow(1);
    answerNextQuestion("Cancel");
    click(buttonTitled(content(), "Delete"));
    EXPECT_EQ(store.snippets().size(), 3u);
    answerNextQuestion("Delete");
    click(buttonTitled(content(), "Delete"));
    ASSERT_EQ(store.snippets().size(), 2u);
    EXPECT_EQ(store.snippets()[1].phrase, "shipping note");

    answerNextQuestion("Reset");
    click(buttonTitled(content(), "Reset"));
    EXPECT_EQ(store.snippets(), VoiceSnippet::defaults());
}

TEST_F(HubWindowTest, ADroppedFileIsTranscribedAndItsResultShown) {
    click(window->sectionButton(3));
    auto* drop = find<hub::FileDropView>(content(), "fileDrop");
    ASSERT_TRUE(drop);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/music/first.mp3"), QUrl::fromLocalFile("/music/second.mp3")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(drop, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(drop, &dropped);
    ASSERT_EQ(appHost->transcriptions.size(), 1u);
    EXPECT_EQ(appHost->calls.back(), "transcribe:/music/first.mp3");
    EXPECT_EQ(find<QLabel>(content(), "transcribeStatus")->text(), "Transcribing first.mp3...");

    // The result comes while another section is shown and brings Transcribe back.
    click(window->sectionButton(1));
    appHost->transcriptions.front()(FileTranscriptionResult::success(
        {"/music/first.mp3", "/music/first-transcript.txt", "Hello from the file."}));
    QApplication::processEvents();
    EXPECT_EQ(window->model().selectedSection(), HubSection::transcribe);
    EXPECT_EQ(find<QLabel>(content(), "transcribeStatus")->text(),
              "Copied to clipboard and saved: first-transcript.txt");
    EXPECT_EQ(find<hub::HubTextView>(content(), "fileTranscript")->toPlainText(), "Hello from the file.");

    // Text without a file location is refused by the drop area (the section
    // was drawn anew for the result).
    drop = find<hub::FileDropView>(content(), "fileDrop");
    ASSERT_TRUE(drop);
    QMimeData text;
    text.setText("not a file");
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(drop, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(HubWindowTest, ClosingAsksAboutUnsavedHomeChangesAndReopeningKeepsTheState) {
    // Nothing changed: closes at once, and opens again where it was.
    click(window->sectionButton(2));
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    window->showHub();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->model().selectedSection(), HubSection::dictionary);

    click(window->sectionButton(0));
    click(find<QPushButton>(content(), "cleanupButton"));
    const bool stored = store.cleanupEnabled();
    answerNextQuestion("Cancel");
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->model().home().hasUnsavedChanges());

    answerNextQuestion("Save");
    EXPECT_TRUE(window->close());
    EXPECT_EQ(store.cleanupEnabled(), !stored);

    window->showHub();
    click(find<QPushButton>(content(), "cleanupButton"));
    answerNextQuestion("Discard");
    EXPECT_TRUE(window->close());
    EXPECT_EQ(store.cleanupEnabled(), !stored);
    window->showHub();
    EXPECT_FALSE(window->model().home().hasUnsavedChanges());
}

}  // namespace
}  // namespace tavlo::testing
