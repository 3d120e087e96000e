#pragma once
// The program's icon in the panel's tray, with its menu rebuilt from the
// controller each time it opens. Where the desktop has no tray, the program
// carries on without it: the bubble and the shortcuts still work, and running
// tavlo again opens the Home window.
#include <QObject>
#include <functional>
#include <memory>

#include "base/BubbleState.h"
#include "platform/StatusItem.h"

class QIcon;
class QMenu;
class QPoint;
class QSystemTrayIcon;

namespace tavlo {

class AppDelegate;
class BubbleView;

class QtTray final : public QObject, public StatusItem {
public:
    using IconForState = std::function<QIcon(BubbleState)>;

    QtTray(IconForState iconForState, std::function<void(std::string_view)> log);
    ~QtTray() override;

    // The controller that fills the menu and acts on it.
    void setController(std::weak_ptr<AppDelegate> controller) { controller_ = std::move(controller); }
    // Shows the icon when the desktop has a tray; false (and one log line)
    // when it has none.
    bool show();
    void showStatusImage(BubbleState state) override;
    void showToolTip(const std::string& text) override;
    QMenu* menu() const { return menu_.get(); }
    // Opens the same menu elsewhere, filled as from the tray.
    void popUpMenu(const QPoint& at);
    // A right click on the bubble opens this menu there: the way in where
    // the panel shows no tray icon. The bubble may outlive the tray.
    static void offerMenuAt(BubbleView& bubble, std::weak_ptr<QtTray> tray);

private:
    void rebuildMenu();

    IconForState iconForState_;
    std::function<void(std::string_view)> log_;
    std::weak_ptr<AppDelegate> controller_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace tavlo
