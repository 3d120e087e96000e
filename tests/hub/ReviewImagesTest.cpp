// Review images of the Home window, written only when asked for with
// TAVLO_REVIEW_IMAGES=<folder> (and QT_SCALE_FACTOR for other scales): every
// section, the states worth a look, and the dialogs over the window, drawn
// with the program's own theme.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "hub/HubTheme.h"
#include "hub/HubWindow.h"
#include "hub/model/HubTestSupport.h"

namespace tavlo::testing {
namespace {

class ReviewImages : public HubModelTest {
protected:
    void SetUp() override {
        const char* folder = std::getenv("TAVLO_REVIEW_IMAGES");
        if (!folder || !*folder) GTEST_SKIP() << "set TAVLO_REVIEW_IMAGES to a folder to write the images";
        folder_ = folder;
        std::filesystem::create_directories(folder_);
        static int argc = 1;
        static char name[] = "tests_hub";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            new QApplication(argc, argv);
        }
        hub::applyHubTheme(*qApp);
        store.setSpeechModel(SpeechModel::localWhisper);
        // The key most Linux keyboards trigger with, as the running program names it.
        appHost->functionKey = "Right Ctrl";
        for (const char* text : {"Send the draft to Mira before lunch.", "Remind me to water the plants.",
                                 "The roadmap review moves to Thursday at ten.", "Thanks, that works for me."})
            store.addRecent(text, "Mail");
        hub.reset();
        auto model = std::make_unique<HubViewModel>(store, feedback, environment, HubLocale{"en_US", "UTC"});
        model->setHost(appHost);
        window = std::make_unique<hub::HubWindow>(std::move(model), nullptr);
        window->resize(900, 720);
        window->showHub();
        QApplication::processEvents();
    }
    void TearDown() override {
        window.reset();
        QApplication::processEvents();
    }

    void save(QWidget* widget, const std::string& name) {
        QApplication::processEvents();
        const QString path = QString::fromStdString((folder_ / (name + ".png")).string());
        EXPECT_TRUE(widget->grab().save(path)) << name;
    }
    void section(HubSection section, const std::string& name) {
        window->model().render(section);
        save(window.get(), name);
    }
    // Grabs the modal dialog `open` brings up, then closes it.
    void dialog(const std::function<void()>& open, const std::string& name) {
        QTimer::singleShot(150, [this, name] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_TRUE(modal) << name;
            save(modal, name);
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->escapeButton())
                box->escapeButton()->click();
            else if (auto* shown = qobject_cast<QDialog*>(modal))
                shown->reject();
        });
        open();
    }

    std::filesystem::path folder_;
    std::unique_ptr<hub::HubWindow> window;
};

TEST_F(ReviewImages, EverySectionStateAndDialog) {
    section(HubSection::home, "home");
    section(HubSection::history, "history");
    window->model().history().searchChanged("nothing like this");
    section(HubSection::history, "history-no-match");
    window->model().history().searchChanged("");
    section(HubSection::dictionary, "dictionary");
    section(HubSection::snippets, "snippets");
    section(HubSection::shortcuts, "shortcuts");

    section(HubSection::transcribe, "transcribe");
    TranscribeViewModel& transcribe = window->model().transcribe();
    transcribe.startFileTranscription("/home/me/Music/interview.mp3");
    save(window.get(), "transcribe-working");
    appHost->transcriptions.back()(FileTranscriptionResult::success(
        {"/home/me/Music/interview.mp3", "/home/me/Music/interview-transcript.txt",
         "Welcome to the show. Today we talk about gardens in small cities."}));
    transcribe.startFileTranscription("/home/me/Music/broken.mp3");
    appHost->transcriptions.back()(FileTranscriptionResult::failure(
        DictationEngineError::localWhisperFailed("error: failed to read '/tmp/tavlo-1/broken.wav'")));
    save(window.get(), "transcribe-error");
    store.setSpeechModel(SpeechModel::appleOnDevice);
    environment->onDeviceLanguages = {"fr_FR"};
    window->model().home().reloadDraft();
    section(HubSection::home, "home-needs-access");

    // Small windows: the smallest size, and the content scrolled.
    window->resize(window->minimumSize());
    section(HubSection::home, "home-smallest");
    window->resize(900, 720);

    section(HubSection::history, "history");
    dialog([this] {
        for (auto* button : window->contentView()->findChildren<QPushButton*>())
            if (button->text() == "Clear history") return button->click();
    }, "dialog-confirm-clear-history");
    section(HubSection::snippets, "snippets");
    dialog([this] {
        for (auto* button : window->contentView()->findChildren<QPushButton*>())
            if (button->text() == "Reset") return button->click();
    }, "confirm-reset-snippets");
    window->model().home().toggleCleanup();
    dialog([this] { window->close(); }, "dialog-close-question");
    window->model().home().revertChanges();
    window->model().home().openAICloudModeSelected("Own OpenAI key");
    window->model().home().speechModelSelected(2);
    dialog([this] {
        for (auto* button : window->contentView()->findChildren<QPushButton*>())
            if (button->text() == "Save key") return button->click();
    }, "dialog-api-key");
    dialog([this] {
        QFileDialog chooser(window.get(), QStringLiteral("Choose an audio or video file"));
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        chooser.setDirectory(QDir::homePath());
        chooser.exec();
    }, "dialog-file-chooser");
    dialog([this] {
        // As the alerts are made: a plain message box with the program's theme.
        QMessageBox box(QMessageBox::Information, QStringLiteral("Tavlo"), QStringLiteral("Tavlo is up to date."),
                        QMessageBox::Ok, window.get());
        box.setInformativeText(QStringLiteral("You have the newest version."));
        box.setEscapeButton(QMessageBox::Ok);
        box.exec();
    }, "dialog-update-result");
}

}  // namespace
}  // namespace tavlo::testing
