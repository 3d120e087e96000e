// The hub's shell: sections, the sidebar, refresh and the close question.
#include "HubTestSupport.h"

namespace tavlo::testing {
namespace {

using HubShell = HubModelTest;

TEST(HubSections, TitlesSubtitlesAndPanelHeights) {
    struct Case {
        HubSection section;
        const char* title;
        std::optional<std::string_view> subtitle;
        std::optional<double> height;
        std::optional<int> tag;
    };
    const std::vector<Case> cases{
        {HubSection::home, "Home", std::nullopt, std::nullopt, 0},
        {HubSection::history, "History", "Recent dictations by time, with a short summary and full text.", 430, 1},
        {HubSection::dictionary, "Dictionary",
         "Words and phrases Tavlo should bias recognition toward on the next dictation.", 390, 2},
        {HubSection::transcribe, "Transcribe", "Drop a file, copy the transcript, and save the .txt output locally.",
         462, 3},
        {HubSection::snippets, "Snippets", "Spoken phrases that expand into reusable text.", 356, std::nullopt},
        {HubSection::shortcuts, "Shortcuts", "Record your own key combos. Fn remains the push-to-talk modifier.", 356,
         std::nullopt},
    };
    ASSERT_EQ(cases.size(), allHubSections.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(sectionTitle(c.section), c.title);
        EXPECT_EQ(sectionSubtitle(c.section), c.subtitle);
        EXPECT_EQ(showsTitleRow(c.section), c.section != HubSection::home);
        EXPECT_EQ(fixedPanelHeight(c.section), c.height);
        EXPECT_EQ(sidebarTag(c.section), c.tag);
        if (c.tag) {
            EXPECT_EQ(sidebarSection(*c.tag), c.section);
        }
    }
    EXPECT_EQ(sidebarSection(-1), std::nullopt);
    EXPECT_EQ(sidebarSection(4), std::nullopt);
}

TEST_F(HubShell, StartsOnHome) {
    EXPECT_EQ(hub->selectedSection(), HubSection::home);
    EXPECT_TRUE(hub->isSidebarButtonOn(0));
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(HubShell, SidebarTagsZeroToThreeShowTheirSection) {
    for (int tag = 0; tag < 4; ++tag) {
        takeEvents();
        const int ticks = feedback->ticks;
        hub->sectionSelected(tag);
        const HubSection section = *sidebarSection(tag);
        EXPECT_EQ(hub->selectedSection(), section);
        EXPECT_EQ(feedback->ticks, ticks + 1);
        EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render " + std::string(sectionTitle(section)), "refresh"}));
        for (int other = 0; other < 4; ++other) EXPECT_EQ(hub->isSidebarButtonOn(other), other == tag);
    }
    for (const int tag : {-1, 4, 5}) {
        hub->sectionSelected(tag);
        EXPECT_EQ(hub->selectedSection(), HubSection::transcribe);
    }
}

TEST_F(HubShell, NoSidebarButtonIsLitForShortcutsOrSnippets) {
    for (const HubSection section : {HubSection::shortcuts, HubSection::snippets}) {
        section == HubSection::shortcuts ? hub->showShortcuts() : hub->showSnippets();
        EXPECT_EQ(hub->selectedSection(), section);
        for (int tag = 0; tag < 4; ++tag) EXPECT_FALSE(hub->isSidebarButtonOn(tag));
        EXPECT_EQ(hub->panelHeight(section), 356);
    }
}

TEST_F(HubShell, ClosingWithoutChangesAsksNothing) {
    EXPECT_EQ(hub->closeQuestion(), std::nullopt);
    EXPECT_TRUE(hub->answerCloseQuestion(CloseAnswer::cancel));
}

TEST_F(HubShell, CloseQuestionTextsAndButtons) {
    home().toggleCleanup();
    const auto question = hub->closeQuestion();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->message, "Save Home changes?");
    EXPECT_EQ(question->informativeText,
              "You changed Tavlo settings on Home. Save them before closing, discard them, or keep editing.");
    using Button = HubQuestion<CloseAnswer>::Button;
    EXPECT_EQ(question->buttons, (std::vector<Button>{{CloseAnswer::save, "Save"},
                                                      {CloseAnswer::discard, "Discard"},
                                                      {CloseAnswer::cancel, "Cancel"}}));
}

TEST_F(HubShell, CloseQuestionAnswers) {
    struct Case {
        CloseAnswer answer;
        bool closes;
        bool stored;       // the change reached the store
        bool stillUnsaved; // the draft keeps the change without storing it
        std::vector<std::string> hostCalls;
    };
    const std::vector<Case> cases{
        {CloseAnswer::cancel, false, false, true, {}},
        {CloseAnswer::discard, true, false, false, {}},
        {CloseAnswer::save, true, true, false, {"reloadHotKeys", "prepareLocalWhisperIfNeeded"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        store.setCleanupEnabled(true);
        makeHub();
        home().toggleCleanup();
        takeHostCalls();

        EXPECT_EQ(hub->answerCloseQuestion(c.answer), c.closes);

        EXPECT_EQ(store.cleanupEnabled(), !c.stored);
        EXPECT_EQ(home().hasUnsavedChanges(), c.stillUnsaved);
        if (!c.stillUnsaved) {
            EXPECT_EQ(home().draft(), HomeDraft::load(store));
        }
        EXPECT_EQ(takeHostCalls(), c.hostCalls);
    }
}

TEST_F(HubShell, DraftSurvivesUntilSavedOrReverted) {
    home().languageSelected("nl");
    hub->render(HubSection::history);
    hub->render(HubSection::home);
    EXPECT_EQ(home().draft().speechLanguageIdentifier, "nl");
    // A value stored by other means shows as a difference.
    store.setSpeechLanguageIdentifier("nl");
    store.setCleanupEnabled(!store.cleanupEnabled());
    EXPECT_TRUE(home().hasUnsavedChanges());
}

TEST_F(HubShell, RefreshSelectsTheFirstHistoryEntryEvenOnAnotherSection) {
    store.setRecent({{dateFromReferenceSeconds(731340420), "Mail", "hi"}});
    hub->refresh();
    EXPECT_EQ(hub->history().selectedRow(), 0u);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"refresh"}));
}

}  // namespace
}  // namespace tavlo::testing
