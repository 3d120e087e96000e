#include "app/desktop/QtTray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/core/AppDelegate.h"
#include "indicator/BubbleView.h"

namespace tavlo {

QtTray::QtTray(IconForState iconForState, std::function<void(std::string_view)> log)
    : iconForState_(std::move(iconForState)), log_(std::move(log)), menu_(std::make_unique<QMenu>()) {
    icon_ = std::make_unique<QSystemTrayIcon>(iconForState_(BubbleState::idle));
    icon_->setToolTip(QStringLiteral("Tavlo"));
    icon_->setContextMenu(menu_.get());
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        if (auto controller = controller_.lock()) controller->menuWillOpen();
        rebuildMenu();
    });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        if (auto controller = controller_.lock()) controller->menuDidClose();
    });
    // A left click opens the same menu, as the panel's other icons do.
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_->popup(icon_->geometry().center());
    });
}

QtTray::~QtTray() = default;

bool QtTray::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (log_) log_("tray unavailable: no system tray on this desktop; the bubble and shortcuts still work");
        return false;
    }
    icon_->show();
    return true;
}

void QtTray::popUpMenu(const QPoint& at) { menu_->popup(at); }

void QtTray::offerMenuAt(BubbleView& bubble, std::weak_ptr<QtTray> tray) {
    bubble.setMenuHandler([tray = std::move(tray)](const QPoint& at) {
        if (auto menu = tray.lock()) menu->popUpMenu(at);
    });
}

void QtTray::showStatusImage(BubbleState state) { icon_->setIcon(iconForState_(state)); }

void QtTray::showToolTip(const std::string& text) { icon_->setToolTip(QString::fromStdString(text)); }

void QtTray::rebuildMenu() {
    menu_->clear();
    auto controller = controller_.lock();
    if (!controller) return;
    for (const auto& item : controller->menuNeedsUpdate()) {
        if (item.isSeparator()) {
            menu_->addSeparator();
            continue;
        }
        // An ampersand in a dictation is text, not a keyboard accelerator.
        QString title = QString::fromStdString(item.title);
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu_->addAction(title);
        action->setEnabled(item.enabled);
        if (!item.keyEquivalent.empty())
            action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(item.keyEquivalent).toUpper()));
        connect(action, &QAction::triggered, this, [this, item] {
            if (auto controller = controller_.lock()) controller->performMenuAction(item);
        });
    }
}

}  // namespace tavlo
