#include "app/desktop/QtAlerts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <memory>
#include <vector>

namespace tavlo {

void QtAlerts::present(const AlertRequest& alert, std::function<void(int chosen)> chosen) {
    auto* box = new QMessageBox(alert.isProblem ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("Tavlo"),
                                QString::fromStdString(alert.message));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An alert still open when the program ends (a stop request, the session
    // ending) goes with it, and so does what its callback holds.
    if (auto* application = QCoreApplication::instance())
        QObject::connect(application, &QCoreApplication::aboutToQuit, box, &QObject::deleteLater);
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    auto buttons = std::make_shared<std::vector<QAbstractButton*>>();
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        auto* button = box->addButton(QString::fromStdString(alert.buttons[i]),
                                      i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (i == 0) box->setDefaultButton(button);
        buttons->push_back(button);
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, chosen = std::move(chosen)](int) {
        const auto found = std::find(buttons->begin(), buttons->end(), box->clickedButton());
        const int index = found == buttons->end() ? 0 : static_cast<int>(found - buttons->begin());
        if (chosen) chosen(index);
    });
    if (!alert.takesFocus) {
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->setWindowModality(Qt::NonModal);
        box->show();
        return;
    }
    box->open();
    box->raise();
    box->activateWindow();
}

}  // namespace tavlo
