// Home: the draft, its controls, the status badge, the API key and the save row.
#include <functional>

#include <gmock/gmock.h>

#include "HubTestSupport.h"
#include "settings/PreferenceKeys.h"

namespace tavlo::testing {
namespace {

using Home = HubModelTest;

TEST_F(Home, FreshHomeIsSavedAndReady) {
    EXPECT_FALSE(home().hasUnsavedChanges());
    EXPECT_FALSE(home().saveRowEnabled());
    EXPECT_EQ(home().saveButtonTitle(), "Saved");
    EXPECT_EQ(home().statusBadgeText(), "Ready");
}

TEST_F(Home, SaveWritesTheChangedFieldsThenAsksTheHost) {
    home().speechModelSelected(1);
    home().languageSelected("de_DE");
    EXPECT_EQ(home().saveButtonTitle(), "Save changes");
    EXPECT_TRUE(home().saveRowEnabled());
    EXPECT_EQ(home().statusBadgeText(), "Unsaved");
    preferences.changedKeys.clear();
    takeHostCalls();
    takeEvents();

    home().saveChanges();

    namespace Key = PreferenceKey;
    EXPECT_EQ(preferences.changedKeys,
              (std::vector<std::string>{std::string(Key::speechModel), std::string(Key::speechLanguage)}));
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"reloadHotKeys", "prepareLocalWhisperIfNeeded"}));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Home", "refresh"}));
    EXPECT_EQ(store.speechModel(), SpeechModel::localWhisper);
    EXPECT_EQ(store.speechLanguageIdentifier(), "de_DE");
    EXPECT_EQ(home().saveButtonTitle(), "Saved");
    EXPECT_EQ(home().statusBadgeText(), "Ready");
}

// Home was opened and closed, then settings were changed elsewhere
// (`tavlo settings set`, an editor): opened again, it shows them as saved,
// and nothing asks to save them back.
TEST_F(Home, ShownAgainItShowsChangesMadeElsewhereAsSaved) {
    hub->windowClosed();
    store.setCleanupEnabled(false);
    store.setMicrophoneUniqueID("vmic");
    preferences.changedKeys.clear();

    hub->refresh();

    EXPECT_EQ(home().draft(), HomeDraft::load(store));
    EXPECT_EQ(home().saveButtonTitle(), "Saved");
    EXPECT_FALSE(hub->closeQuestion());
    EXPECT_TRUE(hub->answerCloseQuestion(CloseAnswer::save));
    EXPECT_TRUE(preferences.changedKeys.empty());
}

// A change made elsewhere while a Home edit is pending: however Home learns
// of it (or before it does), saving writes only the field the user changed,
// so the other change is not undone.
struct OutsideChange {
    const char* name;
    void (*notice)(HubViewModel& hub);
    bool shown;  // Home shows the new values
};

class HomeWithAnOutsideChange : public HubModelTest, public ::testing::WithParamInterface<OutsideChange> {};

TEST_P(HomeWithAnOutsideChange, SavingKeepsIt) {
    home().languageSelected("de_DE");
    store.setCleanupEnabled(false);
    store.setMicrophoneUniqueID("vmic");

    GetParam().notice(*hub);
    if (GetParam().shown) {
        EXPECT_FALSE(home().draft().cleanupEnabled);
        EXPECT_EQ(home().draft().microphoneUniqueID, "vmic");
    }
    EXPECT_EQ(home().draft().speechLanguageIdentifier, "de_DE");  // the user's edit stays
    ASSERT_TRUE(hub->closeQuestion());
    preferences.changedKeys.clear();

    EXPECT_TRUE(hub->answerCloseQuestion(CloseAnswer::save));

    EXPECT_EQ(preferences.changedKeys, std::vector<std::string>{std::string(PreferenceKey::speechLanguage)});
    EXPECT_EQ(store.speechLanguageIdentifier(), "de_DE");
    EXPECT_FALSE(store.cleanupEnabled());
    EXPECT_EQ(store.microphoneUniqueID(), "vmic");
    EXPECT_EQ(home().draft(), HomeDraft::load(store));
    EXPECT_EQ(home().saveButtonTitle(), "Saved");
}

INSTANTIATE_TEST_SUITE_P(
    Notices, HomeWithAnOutsideChange,
    ::testing::Values(OutsideChange{"ShownAgain", [](HubViewModel& hub) { hub.refresh(); }, true},
                      OutsideChange{"FileChanged", [](HubViewModel& hub) { hub.storedSettingsChanged(); }, true},
                      OutsideChange{"NotYetNoticed", [](HubViewModel&) {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Home, RevertBringsBackTheStoredValues) {
    home().toggleCleanup();
    home().microphoneSelected("alsa_input.usb-mic");
    home().updateFrequencySelected("Never");
    const int ticks = feedback->ticks;

    home().revertChanges();

    EXPECT_EQ(home().draft(), HomeDraft::load(store));
    EXPECT_EQ(feedback->ticks, ticks + 1);
    EXPECT_TRUE(store.cleanupEnabled());
    EXPECT_EQ(store.microphoneUniqueID(), std::nullopt);
}

TEST_F(Home, WithoutAHostSavingStillStores) {
    appHost.reset();
    home().languageSelected("fr_FR");
    home().saveChanges();
    EXPECT_EQ(store.speechLanguageIdentifier(), "fr_FR");
}

struct DraftCase {
    const char* name;
    std::function<void(HomeViewModel&)> action;
    std::function<void(HomeDraft&)> expectedChange;  // empty: the draft stays
    int ticks;
    int beeps;
    bool renders;
};

TEST_F(Home, EachControlChangesItsDraftFieldOrNothing) {
    const std::vector<DraftCase> cases{
        {"engine by index", [](auto& h) { h.speechModelSelected(2); },
         [](auto& d) { d.speechModel = SpeechModel::openAICloud; }, 1, 0, true},
        {"engine index outside the list", [](auto& h) { h.speechModelSelected(3); }, {}, 0, 0, false},
        {"engine negative index", [](auto& h) { h.speechModelSelected(-1); }, {}, 0, 0, false},
        {"language", [](auto& h) { h.languageSelected("ja"); }, [](auto& d) { d.speechLanguageIdentifier = "ja"; },
         1, 0, true},
        {"language without a value", [](auto& h) { h.languageSelected(std::nullopt); }, {}, 0, 0, false},
        {"cloud mode", [](auto& h) { h.openAICloudModeSelected("Own OpenAI key"); },
         [](auto& d) { d.openAICloudMode = OpenAICloudMode::apiKey; }, 1, 0, true},
        {"cloud mode unknown", [](auto& h) { h.openAICloudModeSelected("own openai key"); }, {}, 0, 0, false},
        {"cloud mode without a value", [](auto& h) { h.openAICloudModeSelected(std::nullopt); }, {}, 0, 0, false},
        {"microphone", [](auto& h) { h.microphoneSelected("alsa_input.usb-mic"); },
         [](auto& d) { d.microphoneUniqueID = "alsa_input.usb-mic"; }, 1, 0, true},
        {"cleanup", [](auto& h) { h.toggleCleanup(); }, [](auto& d) { d.cleanupEnabled = !d.cleanupEnabled; }, 1,
         0, true},
        {"local storage", [](auto& h) { h.storageSelected("Local"); }, [](auto& d) { d.storageMode = StorageMode::local; },
         1, 0, true},
        {"cloud storage is refused", [](auto& h) { h.storageSelected("Cloud"); }, {}, 0, 1, true},
        {"storage without a value", [](auto& h) { h.storageSelected(std::nullopt); }, {}, 0, 0, false},
        {"update frequency", [](auto& h) { h.updateFrequencySelected("Weekly"); },
         [](auto& d) { d.updateCheckFrequency = UpdateCheckFrequency::weekly; }, 1, 0, true},
        {"update frequency unknown", [](auto& h) { h.updateFrequencySelected("Hourly"); }, {}, 0, 0, false},
    };
    for (const DraftCase& c : cases) {
        SCOPED_TRACE(c.name);
        home().revertChanges();
        HomeDraft expected = home().draft();
        if (c.expectedChange) c.expectedChange(expected);
        const int ticks = feedback->ticks;
        const int beeps = feedback->beeps;
        takeEvents();

        c.action(home());

        EXPECT_EQ(home().draft(), expected);
        EXPECT_EQ(feedback->ticks - ticks, c.ticks);
        EXPECT_EQ(feedback->beeps - beeps, c.beeps);
        EXPECT_EQ(!takeEvents().empty(), c.renders);
    }
}

TEST_F(Home, ChoosingSystemDefaultClearsTheMicrophone) {
    store.setMicrophoneUniqueID("alsa_input.usb-mic");
    home().reloadDraft();
    for (const std::optional<std::string>& value : {std::optional<std::string>(""), std::optional<std::string>()}) {
        home().reloadDraft();
        home().microphoneSelected(value);
        EXPECT_EQ(home().draft().microphoneUniqueID, std::nullopt);
    }
}

struct BadgeCase {
    const char* name;
    std::function<void(FakeEnvironment&, SettingsStore&, HomeViewModel&)> setUp;
    const char* badge;
    const char* reasonMentions;  // in the badge's tooltip
};

TEST_F(Home, StatusBadgeFollowsAccessReadinessAndTheDraftAndSaysWhy) {
    const std::vector<BadgeCase> cases{
        {"all ready", [](auto&, auto&, auto&) {}, "Ready", "Ready to dictate."},
        {"microphone denied", [](auto& e, auto&, auto&) { e.microphone = MicrophoneAccess::denied; }, "Needs access", "privacy settings"},
        {"microphone restricted", [](auto& e, auto&, auto&) { e.microphone = MicrophoneAccess::restricted; },
         "Needs access", "cannot use the microphone"},
        {"microphone unknown", [](auto& e, auto&, auto&) { e.microphone = MicrophoneAccess::unknown; },
         "Needs access", "cannot use the microphone"},
        {"microphone not asked yet", [](auto& e, auto&, auto&) { e.microphone = MicrophoneAccess::notDetermined; },
         "Ready", "Ready to dictate."},
        {"recogniser denied", [](auto& e, auto&, auto&) { e.speech = SpeechAuthorizationStatus::denied; },
         "Needs access", "Speech recognition is not allowed"},
        {"recogniser not asked yet", [](auto& e, auto&, auto&) { e.speech = SpeechAuthorizationStatus::notDetermined; },
         "Ready", "Ready to dictate."},
        {"no on-device recogniser for the language",
         [](auto& e, auto&, auto&) { e.onDeviceLanguages = {"fr_FR"}; }, "Needs access", "cannot recognise English"},
        {"local Whisper missing",
         [](auto& e, auto& s, auto& h) {
             e.whisperReady = false;
             s.setSpeechModel(SpeechModel::localWhisper);
             h.reloadDraft();
         },
         "Needs access", "Local Whisper is not ready for English"},
        {"cloud service",
         [](auto& e, auto& s, auto& h) {
             e.speech = SpeechAuthorizationStatus::denied;
             s.setSpeechModel(SpeechModel::openAICloud);
             h.reloadDraft();
         },
         "Ready", "Ready to dictate."},
        {"own key without a key",
         [](auto&, auto& s, auto& h) {
             s.setSpeechModel(SpeechModel::openAICloud);
             s.setOpenAICloudMode(OpenAICloudMode::apiKey);
             h.reloadDraft();
         },
         "Needs access", "needs your API key. Press \"Save key\""},
        {"auto-paste without accessibility",
         [](auto& e, auto& s, auto&) {
             e.trusted = false;
             s.setAutoPaste(true);
         },
         "Paste access", "may not type into other applications"},
        {"no auto-paste, no accessibility needed",
         [](auto& e, auto& s, auto&) {
             e.trusted = false;
             s.setAutoPaste(false);
         },
         "Ready", "Ready to dictate."},
        {"unsaved", [](auto&, auto&, auto& h) { h.toggleCleanup(); }, "Unsaved", "Press \"Save changes\""},
    };
    for (const BadgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        environment->reset();
        store.setSpeechModel(SpeechModel::appleOnDevice);
        store.setOpenAICloudMode(OpenAICloudMode::service);
        store.setAutoPaste(true);
        home().reloadDraft();
        c.setUp(*environment, store, home());
        EXPECT_EQ(home().statusBadgeText(), c.badge);
        // Every state says why, so "Needs access" is never left unexplained.
        EXPECT_THAT(home().statusBadgeToolTip(), ::testing::HasSubstr(c.reasonMentions));
        EXPECT_EQ(home().statusBadgeIsWarning(), std::string(c.badge) == "Needs access" ||
                                                     std::string(c.badge) == "Paste access");
    }
}

TEST_F(Home, CloudRowAppearsOnlyForTheCloudEngineAndMakesThePanelTaller) {
    EXPECT_FALSE(home().showsCloudRow());
    const double base = home().panelHeight();
    EXPECT_EQ(hub->panelHeight(HubSection::home), base);

    home().speechModelSelected(2);
    EXPECT_TRUE(home().showsCloudRow());
    EXPECT_EQ(home().panelHeight(), base + 40);
    EXPECT_EQ(home().cloudModePopup().items,
              (std::vector<PopupItem>{{"Tavlo service", "Tavlo service"}, {"Own OpenAI key", "Own OpenAI key"}}));
    EXPECT_EQ(home().cloudModePopup().selectedIndex, 0u);
    EXPECT_FALSE(home().showsAPIKeyButton());
    EXPECT_EQ(home().cloudStatusText(), "Uses the Tavlo service's access token");

    home().speechModelSelected(1);
    EXPECT_FALSE(home().showsCloudRow());
    // Local Whisper has a row of its own instead.
    EXPECT_EQ(home().panelHeight(), base + HomeViewModel::whisperRowHeight);
    home().speechModelSelected(0);
    EXPECT_FALSE(home().showsCloudRow());
    EXPECT_EQ(home().panelHeight(), base);
}

TEST_F(Home, APIKeyIsStoredAtOnceAndChangesTheBadgeWithoutSaving) {
    store.setSpeechModel(SpeechModel::openAICloud);
    store.setOpenAICloudMode(OpenAICloudMode::apiKey);
    home().reloadDraft();
    EXPECT_EQ(home().statusBadgeText(), "Needs access");
    EXPECT_TRUE(home().showsAPIKeyButton());
    EXPECT_EQ(home().apiKeyButtonTitle(), "Save key");
    EXPECT_EQ(home().cloudStatusText(), "No API key saved");

    const APIKeyDialog dialog = home().apiKeyDialog();
    EXPECT_EQ(dialog.message, "Save OpenAI API key");
    EXPECT_EQ(dialog.informativeText, "The key is stored in your desktop keyring and is used only when Speech is "
                                      "set to OpenAI cloud with Own OpenAI key.");
    EXPECT_EQ(dialog.placeholder, "sk-...");
    using Button = APIKeyDialog::Button;
    EXPECT_EQ(dialog.buttons, (std::vector<Button>{{APIKeyAnswer::saveKey, "Save key"}, {APIKeyAnswer::cancel, "Cancel"}}));

    takeEvents();
    home().answerAPIKeyDialog(APIKeyAnswer::saveKey, " \n sk-test-123\t\n");
    EXPECT_EQ(store.openAIAPIKey(), "sk-test-123");
    EXPECT_EQ(feedback->ticks, 1);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Home", "refresh"}));
    EXPECT_EQ(home().statusBadgeText(), "Ready");
    EXPECT_EQ(home().cloudStatusText(), "Key saved in the keyring");
    EXPECT_EQ(home().apiKeyButtonTitle(), "Replace key");

    const APIKeyDialog replace = home().apiKeyDialog();
    EXPECT_EQ(replace.message, "Replace OpenAI API key?");
    EXPECT_EQ(replace.buttons, (std::vector<Button>{{APIKeyAnswer::saveKey, "Save key"},
                                                    {APIKeyAnswer::clearKey, "Clear key"},
                                                    {APIKeyAnswer::cancel, "Cancel"}}));
}

TEST_F(Home, APIKeyDialogAnswers) {
    struct Case {
        const char* name;
        std::optional<std::string> storedBefore;
        APIKeyAnswer answer;
        const char* field;
        bool secretsFail;
        std::optional<std::string> storedAfter;
        int ticks;
        int beeps;
        const char* error = "";  // shown in the dialog, which stays open
    };
    const std::vector<Case> cases{
        {"blank key beeps", std::nullopt, APIKeyAnswer::saveKey, " \n\t ", false, std::nullopt, 0, 1},
        {"replacing", "sk-old", APIKeyAnswer::saveKey, "sk-new", false, "sk-new", 1, 0},
        {"clearing", "sk-old", APIKeyAnswer::clearKey, "ignored", false, std::nullopt, 1, 0},
        {"cancel keeps the key", "sk-old", APIKeyAnswer::cancel, "sk-new", false, "sk-old", 0, 0},
        {"a key with a line break inside is refused", std::nullopt, APIKeyAnswer::saveKey, "sk-a\nsk-b", false,
         std::nullopt, 0, 1, "The key was not saved: it holds a line break. Paste the key alone and try again."},
        {"a refusing keyring is not a success", std::nullopt, APIKeyAnswer::saveKey, "sk-new", true, std::nullopt, 0,
         1,
         "The key was not saved: the desktop keyring refused it. Check that a keyring (such as GNOME Keyring or "
         "KWallet) is running and unlocked, then try again."},
        {"a refused removal says so", "sk-old", APIKeyAnswer::clearKey, "", true, "sk-old", 0, 1,
         "The key was not removed: the desktop keyring refused. Check that it is running and unlocked, then try "
         "again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        secrets.setFailing(false);
        store.setOpenAIAPIKey(c.storedBefore);
        secrets.setFailing(c.secretsFail);
        const int ticks = feedback->ticks;
        const int beeps = feedback->beeps;

        EXPECT_EQ(home().answerAPIKeyDialog(c.answer, c.field), c.error);

        secrets.setFailing(false);
        EXPECT_EQ(store.openAIAPIKey(), c.storedAfter);
        EXPECT_EQ(feedback->ticks - ticks, c.ticks);
        EXPECT_EQ(feedback->beeps - beeps, c.beeps);
    }
}

TEST_F(Home, TriggerRowsShowTheDraftTriggers) {
    const auto rows = home().triggerRows();
    EXPECT_EQ(rows[0].role, TriggerRole::hold);
    EXPECT_EQ(rows[0].title, "Hold");
    EXPECT_EQ(rows[0].detail, "Record while held. Release to paste.");
    EXPECT_EQ(rows[0].shortcutText, "Fn");
    EXPECT_EQ(rows[1].role, TriggerRole::press);
    EXPECT_EQ(rows[1].title, "Press");
    EXPECT_EQ(rows[1].detail, "Press once to start. Press again to stop.");
    EXPECT_EQ(rows[1].shortcutText, "Double-tap Fn");
    using Button = HomeViewModel::TriggerButton;
    for (const auto& row : rows)
        EXPECT_EQ(row.buttons, (std::vector<Button>{{Button::Kind::record, "Record", true}}));

    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(49, CarbonModifier::control, "Ctrl+Space")));
    home().reloadDraft();
    EXPECT_EQ(home().triggerRows()[1].shortcutText, "Ctrl+Space");
}

TEST_F(Home, TheFunctionKeyIsNamedByTheKeyThatActsAsItHere) {
    // Most Linux keyboards report no Fn key; Right Ctrl stands in for it.
    appHost->functionKey = "Right Ctrl";
    EXPECT_EQ(home().triggerRows()[0].shortcutText, "Right Ctrl");
    EXPECT_EQ(home().triggerRows()[1].shortcutText, "Double-tap Right Ctrl");
    EXPECT_EQ(hub->shortcuts().fixedKeysNote(),
              "Fixed while recording: Return commits, Escape cancels. Right Ctrl hold is push-to-talk; double-tap "
              "Right Ctrl latches dictation. Mouse trigger: F13.");
    EXPECT_EQ(hub->shortcuts().subtitle(), "Record your own key combos. Right Ctrl remains the push-to-talk key.");
    store.setHoldTrigger(TriggerShortcut::modifierOnly(CarbonModifier::control | CarbonModifier::option, "Ctrl+Opt"));
    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(49, CarbonModifier::control, "Ctrl+Space")));
    EXPECT_EQ(hub->shortcuts().fixedKeysNote(),
              "Fixed while recording: Return commits, Escape cancels. Ctrl+Alt hold is push-to-talk; Ctrl+Space "
              "latches dictation. Mouse trigger: F13.");
}

TEST_F(Home, PopupsListTheirChoicesAndShowTheDraft) {
    const Popup engines = home().enginePopup();
    // The on-device engine keeps its stored name but is titled for this desktop.
    EXPECT_EQ(engines.items, (std::vector<PopupItem>{{"On-device", "Apple on-device"},
                                                     {"Local Whisper", "Local Whisper"},
                                                     {"OpenAI cloud", "OpenAI cloud"}}));
    EXPECT_EQ(engines.selectedIndex, 0u);

    const Popup storage = home().storagePopup();
    EXPECT_EQ(storage.items,
              (std::vector<PopupItem>{{"Local history", "Local", true}, {"Cloud sync later", "Cloud", false}}));
    EXPECT_EQ(storage.selectedIndex, 0u);

    home().updateFrequencySelected("Monthly");
    const Popup updates = home().updateFrequencyPopup();
    EXPECT_EQ(updates.items.size(), 4u);
    EXPECT_EQ(updates.items[updates.selectedIndex].value, "Monthly");
}

TEST_F(Home, MicrophonePopupStartsWithTheSystemDefault) {
    environment->devices.push_back({3, std::nullopt, "Unreadable device"});
    Popup popup = home().microphonePopup();
    EXPECT_EQ(popup.items, (std::vector<PopupItem>{{"System default", ""},
                                                   {"USB Microphone", "alsa_input.usb-mic"},
                                                   {"Built-in Audio", "alsa_input.builtin"}}));
    EXPECT_EQ(popup.selectedIndex, 0u);

    home().microphoneSelected("alsa_input.builtin");
    EXPECT_EQ(home().microphonePopup().selectedIndex, 2u);

    // The chosen device is gone: the default shows, the draft keeps its choice.
    environment->devices.pop_back();
    environment->devices.pop_back();
    EXPECT_EQ(home().microphonePopup().selectedIndex, 0u);
    EXPECT_EQ(home().draft().microphoneUniqueID, "alsa_input.builtin");
}

TEST_F(Home, MicrophoneToolTipFollowsTheAccess) {
    const std::vector<std::pair<MicrophoneAccess, const char*>> cases{
        {MicrophoneAccess::authorized, "Microphone access is available."},
        {MicrophoneAccess::notDetermined, "The system will ask when you start dictation."},
        {MicrophoneAccess::denied, "Allow microphone access in your desktop's privacy settings."},
        {MicrophoneAccess::restricted, "Allow microphone access in your desktop's privacy settings."},
        {MicrophoneAccess::unknown, "The system returned an unknown microphone state."},
    };
    for (const auto& [access, toolTip] : cases) {
        environment->microphone = access;
        EXPECT_EQ(home().microphonePopup().toolTip, toolTip);
    }
}

TEST_F(Home, CleanupButtonShowsTheDraft) {
    store.setCleanupEnabled(true);
    home().reloadDraft();
    EXPECT_EQ(home().cleanupButtonTitle(), "On");
    EXPECT_TRUE(home().cleanupButtonSelected());
    home().toggleCleanup();
    EXPECT_EQ(home().cleanupButtonTitle(), "Off");
    EXPECT_FALSE(home().cleanupButtonSelected());
}

TEST_F(Home, CheckNowAsksTheHostAtOnce) {
    home().checkForUpdates();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"checkForUpdates"}));
    EXPECT_EQ(feedback->ticks, 1);
    EXPECT_FALSE(home().hasUnsavedChanges());

    appHost.reset();
    home().checkForUpdates();
    EXPECT_EQ(feedback->ticks, 2);
}

}  // namespace
}  // namespace tavlo::testing

namespace tavlo::testing {

TEST_F(Home, StartAtLoginActsAtOnceOutsideTheDraftAndARefusalBeeps) {
    EXPECT_EQ(home().loginButtonTitle(), "Off");
    home().toggleStartAtLogin();
    EXPECT_TRUE(environment->loginStartup);
    EXPECT_EQ(home().loginButtonTitle(), "On");
    EXPECT_TRUE(home().loginButtonSelected());
    EXPECT_FALSE(home().hasUnsavedChanges());
    EXPECT_EQ(feedback->ticks, 1);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Home", "refresh"}));

    environment->loginStartupChangeable = false;
    home().toggleStartAtLogin();
    EXPECT_TRUE(environment->loginStartup);
    EXPECT_EQ(feedback->beeps, 1);
    EXPECT_EQ(home().loginButtonTitle(), "On");
}

}  // namespace tavlo::testing
