// Home's Whisper row with local Whisper selected: the state in words, the
// Download button with its progress and Cancel, and the model choice.
#include "HubTestSupport.h"
#include "settings/PreferenceKeys.h"

namespace tavlo::testing {
namespace {

using Kind = WhisperModelDownloadOutcome::Kind;
using Phase = WhisperModelDownloadProgress::Phase;

class WhisperRow : public HubModelTest {
protected:
    WhisperRow() {
        store.setSpeechModel(SpeechModel::localWhisper);
        makeHub();
    }
};

TEST_F(WhisperRow, ShownOnlyForLocalWhisperAndMakesThePanelTaller) {
    EXPECT_TRUE(home().showsWhisperRow());
    EXPECT_EQ(home().panelHeight(), HomeViewModel::basePanelHeight + HomeViewModel::whisperRowHeight);
    home().speechModelSelected(0);
    EXPECT_FALSE(home().showsWhisperRow());
    EXPECT_EQ(home().panelHeight(), HomeViewModel::basePanelHeight);
}

TEST_F(WhisperRow, TellsTheStateInWords) {
    struct Case {
        const char* name;
        LocalWhisperSetup setup;
        const char* language;
        std::optional<std::string> chosen;
        const char* status;
        bool downloadShown;
    };
    const Case cases[] = {
        {"ready", {true, "base.en", {"base.en"}}, "en_US", std::nullopt, "Ready: base.en", false},
        {"no model, English", {true, std::nullopt, {}}, "en_US", std::nullopt, "No model: Download base.en (142 MB)",
         true},
        {"no model, German", {true, std::nullopt, {}}, "de_DE", std::nullopt, "No model: Download base (142 MB)", true},
        {"a chosen model offered when missing", {true, std::nullopt, {}}, "en_US", "small.en",
         "No model: Download small.en (466 MB)", true},
        {"a chosen model still to fetch while another works", {true, "base.en", {"base.en"}}, "en_US", "small.en",
         "Ready: base.en (small.en is not downloaded)", true},
        {"a chosen model in use", {true, "base.en", {"base.en", "small.en"}}, "en_US", "small.en", "Ready: small.en",
         false},
        // A model can be fetched before whisper.cpp itself is installed.
        {"no whisper.cpp", {false, std::nullopt, {}}, "en_US", std::nullopt, "whisper.cpp not found: how to install",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        environment->whisper = c.setup;
        store.setSpeechLanguageIdentifier(c.language);
        store.setWhisperModel(c.chosen);
        makeHub();
        EXPECT_EQ(home().whisperStatusText(), c.status);
        EXPECT_EQ(home().whisperButton(), (HomeViewModel::WhisperButton{"Download", c.downloadShown}));
        EXPECT_EQ(home().whisperStatusToolTip().empty(), c.setup.toolsFound) << "how to install, when missing";
        EXPECT_FALSE(home().whisperProgress());
    }
}

TEST_F(WhisperRow, DownloadShowsProgressCanBeCancelledAndEndsInWords) {
    environment->whisper = {true, std::nullopt, {}};
    makeHub();
    takeEvents();
    home().whisperButtonPressed();
    EXPECT_EQ(environment->downloads, std::vector<std::string>{"base.en"});
    EXPECT_EQ(home().whisperButton(), (HomeViewModel::WhisperButton{"Cancel", true}));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Home", "refresh"}));

    // Progress rewrites the row in place, not the whole of Home.
    environment->downloadProgress({Phase::downloading, 71 * 1024 * 1024, 142 * 1024 * 1024});
    EXPECT_EQ(home().whisperStatusText(), "Downloading base.en: 71 MB of 142 MB");
    EXPECT_EQ(home().whisperProgress(), 0.5);
    environment->downloadProgress({Phase::verifying, 10, 142 * 1024 * 1024});
    EXPECT_EQ(home().whisperStatusText(), "Checking base.en");
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"whisperDownloadProgressed", "whisperDownloadProgressed"}));

    // Cancel asks the environment; the row changes when the outcome arrives.
    home().whisperButtonPressed();
    EXPECT_EQ(environment->downloadCancels, 1);
    EXPECT_EQ(environment->downloads.size(), 1u) << "Cancel starts nothing";
    environment->downloadFinished({Kind::cancelled, "The download of base.en was stopped.", {}});
    EXPECT_EQ(home().whisperStatusText(), "The download of base.en was stopped.");
    EXPECT_EQ(home().whisperButton(), (HomeViewModel::WhisperButton{"Download", true}));
    EXPECT_EQ(feedback->beeps, 0);

    // Again, this time to the end: local Whisper is prepared with the new model.
    home().whisperButtonPressed();
    takeHostCalls();
    environment->whisper = {true, "base.en", {"base.en"}};
    environment->downloadFinished({Kind::installed, "base.en is installed.", {}});
    EXPECT_EQ(home().whisperStatusText(), "Ready: base.en");
    EXPECT_EQ(takeHostCalls(), std::vector<std::string>{"prepareLocalWhisperIfNeeded"});
}

TEST_F(WhisperRow, AFailedOrRefusedDownloadBeepsAndSaysWhy) {
    environment->whisper = {true, std::nullopt, {}};
    makeHub();
    home().whisperButtonPressed();
    environment->downloadFinished({Kind::noSpace, "Not enough free space in the cache.", {}});
    EXPECT_EQ(home().whisperStatusText(), "Not enough free space in the cache.");
    EXPECT_EQ(feedback->beeps, 1);

    // Another download already running elsewhere: nothing starts.
    environment->downloadsPossible = false;
    home().whisperButtonPressed();
    EXPECT_EQ(feedback->beeps, 2);
    EXPECT_EQ(home().whisperButton().title, "Download");
}

TEST_F(WhisperRow, TheModelChoiceIsPartOfTheDraft) {
    environment->whisper = {true, "base.en", {"base.en"}};
    makeHub();
    const Popup popup = home().whisperModelPopup();
    ASSERT_GE(popup.items.size(), 5u);
    EXPECT_EQ(popup.items[0], (PopupItem{"Automatic", ""}));
    EXPECT_EQ(popup.selectedIndex, 0u);
    const auto item = [&](const std::string& name) {
        for (const auto& entry : popup.items)
            if (entry.value == name) return entry.title;
        return std::string();
    };
    EXPECT_EQ(item("base.en"), "base.en (142 MB, installed)");
    EXPECT_EQ(item("small.en"), "small.en (466 MB)");
    EXPECT_EQ(item("large-v3-turbo"), "large-v3-turbo (1.5 GB)");

    home().whisperModelSelected("small.en");
    EXPECT_TRUE(home().hasUnsavedChanges());
    EXPECT_EQ(home().whisperModelPopup().items[home().whisperModelPopup().selectedIndex].value, "small.en");
    EXPECT_FALSE(store.whisperModel());
    home().saveChanges();
    EXPECT_EQ(store.whisperModel(), "small.en");

    // A name that could leave the model folder is never taken.
    home().whisperModelSelected("../small.en");
    EXPECT_FALSE(home().hasUnsavedChanges());
    home().whisperModelSelected("");
    home().saveChanges();
    EXPECT_FALSE(store.whisperModel());
}

}  // namespace
}  // namespace tavlo::testing
