// The trigger commands' requests: the line each command sends, what the
// running program accepts, and what each one does to a dictation in virtual
// time: the same as the key it stands for.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/DictationSessionFixture.h"
#include "app/core/TriggerRequest.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;

TEST(TriggerRequestTest, EachCommandWordTravelsAsOneLineAndComesBack) {
    const std::vector<std::pair<std::string, TriggerAction>> rows = {
        {"start", TriggerAction::start},   {"stop", TriggerAction::stop},
        {"toggle", TriggerAction::toggle}, {"cancel", TriggerAction::cancel},
        {"professional", TriggerAction::professional}, {"casual", TriggerAction::casual},
        {"list", TriggerAction::list},     {"clean", TriggerAction::clean},
    };
    for (const auto& [word, action] : rows) {
        SCOPED_TRACE(word);
        EXPECT_EQ(triggerActionNamed(word), action);
        EXPECT_EQ(triggerRequestLine(action), "trigger " + word + "\n");
        EXPECT_EQ(parseTriggerRequest(triggerRequestLine(action)), action);
    }
    EXPECT_EQ(triggerCommandWords(), "start|stop|toggle|cancel|professional|casual|list|clean");
    EXPECT_EQ(rewriteStyle(TriggerAction::list), TransformStyle::list);
    EXPECT_EQ(rewriteStyle(TriggerAction::start), std::nullopt);
}

TEST(TriggerRequestTest, AnythingButOneKnownRequestLineIsRefused) {
    const std::vector<std::string> requests = {"home\n", "trigger\n", "trigger \n", "trigger Start\n", "trigger start", "trigger start\nextra",
          "trigger start now\n", "trigger verbatim\n", " trigger start\n", "trigger start\r\n",
          std::string("trigger start\0\n", 15)};
    for (const std::string& request : requests) {
        SCOPED_TRACE(request);
        EXPECT_EQ(parseTriggerRequest(request), std::nullopt);
    }
}

class TriggerCommands : public DictationSession {
protected:
    void SetUp() override {
        hotKeyManager->delegate = controller;
        controller->installTriggerMonitors();
        controller->reloadHotKeys();
    }
    int linesStartingWith(const std::string& prefix) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        }));
    }
    void command(TriggerAction action) {
        controller->performTriggerAction(action);
        run();
    }
};

TEST_F(TriggerCommands, StartAndStopHoldLikeTheTriggerKeyAndADoubleTapLatches) {
    command(TriggerAction::start);
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    EXPECT_EQ(linesStartingWith("trigger command=start listening=false processing=false capturing=false"), 1);
    // The release stops a moment later, as the key's does.
    command(TriggerAction::stop);
    advance(339ms);
    EXPECT_TRUE(controller->isListening());
    advance(1ms);
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(linesStartingWith("record stop requested"), 1);
    hear("hello");
    recognition()->sendFinal("hello");
    run();
    ASSERT_TRUE(isIdle());

    // Two quick presses keep it listening until the next start.
    command(TriggerAction::start);
    answerPermissions();
    command(TriggerAction::stop);
    advance(200ms);
    command(TriggerAction::start);
    command(TriggerAction::stop);
    advance(2s);
    EXPECT_TRUE(controller->isListening());
    command(TriggerAction::start);
    EXPECT_FALSE(controller->isListening());
}

TEST_F(TriggerCommands, ToggleStartsAndStopsAndCancelActsOnlyWhileListening) {
    command(TriggerAction::cancel);
    EXPECT_EQ(linesStartingWith("record start requested"), 0);
    EXPECT_EQ(bubble->state(), B::idle);

    command(TriggerAction::toggle);
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    command(TriggerAction::toggle);
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(linesStartingWith("record stop requested"), 1);
    hear("hello");
    recognition()->sendFinal("hello");
    run();
    ASSERT_TRUE(isIdle());

    command(TriggerAction::toggle);
    answerPermissions();
    command(TriggerAction::cancel);
    EXPECT_FALSE(controller->isListening());
    advance(5s);
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(linesStartingWith("record stop requested"), 1) << "a cancel delivers nothing";
}

TEST_F(TriggerCommands, AStyleCommandAsksForARepolishAndNothingActsWhileAShortcutIsRecorded) {
    command(TriggerAction::casual);
    ASSERT_FALSE(keyPoster->posted().empty());
    EXPECT_EQ(keyPoster->posted().back().keystroke, SimKeyEventPoster::Keystroke::copy);
    advance(220ms);
    EXPECT_EQ(lastLog().rfind("repolish style=Casual", 0), 0u) << lastLog();

    controller->setShortcutCaptureActive(true);
    const auto posted = keyPoster->posted().size();
    for (const auto action : {TriggerAction::start, TriggerAction::toggle, TriggerAction::professional}) {
        command(action);
        answerPermissions();
    }
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(linesStartingWith("record start requested"), 0);
    EXPECT_EQ(keyPoster->posted().size(), posted);
    EXPECT_EQ(lastLog(), "trigger command=professional listening=false processing=false capturing=true");
}

}  // namespace
}  // namespace tavlo::testing
