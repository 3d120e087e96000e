#pragma once
// Shows one of the hub's questions as a modal message box over the window and
// returns the answer of the button pressed; closing the box any other way
// gives the last button's answer (always the one that changes nothing).
#include <QAbstractButton>
#include <QMessageBox>

#include <map>

#include "hub/model/HubQuestion.h"
#include "hub/model/HubTexts.h"
#include "hub/HubStyle.h"

namespace tavlo::hub {

template <class Answer>
Answer askHubQuestion(QWidget* parent, const HubQuestion<Answer>& question, bool destructive) {
    QMessageBox box(destructive ? QMessageBox::Warning : QMessageBox::Question, qtText(HubText::windowTitle),
                    qtText(question.message), QMessageBox::NoButton, parent);
    box.setInformativeText(qtText(question.informativeText));
    std::map<QAbstractButton*, Answer> answers;
    QPushButton* last = nullptr;
    for (std::size_t i = 0; i < question.buttons.size(); ++i) {
        const auto& button = question.buttons[i];
        const bool isLast = i + 1 == question.buttons.size();
        const auto role = i == 0 ? QMessageBox::AcceptRole : isLast ? QMessageBox::RejectRole
                                                                    : QMessageBox::DestructiveRole;
        last = box.addButton(qtText(button.title), role);
        answers[last] = button.answer;
    }
    // Enter must not remove anything by accident: the safe answer is the default.
    if (destructive && last) box.setDefaultButton(last);
    box.setEscapeButton(last);
    box.exec();
    const auto chosen = answers.find(box.clickedButton());
    return chosen == answers.end() ? question.buttons.back().answer : chosen->second;
}

}  // namespace tavlo::hub
