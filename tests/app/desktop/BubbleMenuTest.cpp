// The bubble's right-click menu is the tray's: the same items, built from
// the controller when it opens, acting the same way. On desktops without a
// tray it is the only menu there is.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include <cstdlib>

#include "app/core/DictationSessionFixture.h"
#include "app/core/StatusMenu.h"
#include "app/desktop/QtTray.h"
#include "indicator/BubbleView.h"
#include "indicator/SorvelIcon.h"

namespace tavlo::testing {
namespace {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_app";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    // Nothing here needs a display; a test run on a desktop keeps its own.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    new QApplication(argc, argv);
}

std::vector<std::string> titles(const QMenu& menu) {
    std::vector<std::string> result;
    for (const QAction* action : menu.actions())
        result.push_back(action->isSeparator() ? "-" : action->text().replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString());
    return result;
}

std::vector<std::string> titles(const std::vector<StatusMenuItem>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) result.push_back(item.isSeparator() ? "-" : item.title);
    return result;
}

TEST(BubbleMenu, RightClickingTheBubbleOpensTheTrayMenuAndItsItemsAct) {
    ensureApplication();
    DictationSession session;
    session.store.addRecent("Fish & chips at eight", "Editor");
    auto tray = std::make_shared<QtTray>(SorvelIcon::statusIcon, nullptr);
    tray->setController(session.controller);
    BubbleView bubble;
    bubble.resize(46, 46);
    QtTray::offerMenuAt(bubble, tray);

    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(23, 23), QPoint(623, 423));
    QApplication::sendEvent(&bubble, &rightClick);
    QMenu& menu = *tray->menu();
    ASSERT_TRUE(menu.isVisible());
    EXPECT_EQ(titles(menu), titles(statusMenuItems(true, session.store.recent())));
    EXPECT_EQ(titles(menu).front(), "Home");
    EXPECT_EQ(titles(menu).back(), "Quit Tavlo");

    // "Hide Bubble" hides it, as from the tray.
    for (QAction* action : menu.actions())
        if (action->text() == QStringLiteral("Hide Bubble")) action->trigger();
    EXPECT_FALSE(session.store.bubbleVisible());
    menu.hide();

    // The next opening is rebuilt: the item now shows the bubble again.
    QApplication::sendEvent(&bubble, &rightClick);
    EXPECT_EQ(titles(menu)[1], "Show Bubble");
    menu.hide();

    // A tray that is gone leaves the bubble without a menu, not broken.
    tray.reset();
    QApplication::sendEvent(&bubble, &rightClick);
}

}  // namespace
}  // namespace tavlo::testing
