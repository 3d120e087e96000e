#pragma once
// A modal question the hub asks: its texts and its buttons in order, each
// with the answer it stands for. The view shows it and hands back the answer
// of the button pressed (closing it any other way is the last answer).
#include <string>
#include <utility>
#include <vector>

namespace tavlo {

template <class Answer> struct HubQuestion {
    struct Button {
        Answer answer;
        std::string title;
        bool operator==(const Button&) const = default;
    };
    std::string message;
    std::string informativeText;
    std::vector<Button> buttons;
};

// The answers to "are you sure?" before an action that cannot be undone.
enum class ConfirmAnswer { confirm, cancel };

// Asks before `action` (the confirm button's title) removes what `message`
// names; the cancel button comes last, so closing the question cancels.
inline HubQuestion<ConfirmAnswer> confirmation(std::string message, std::string informativeText,
                                               std::string action) {
    return {std::move(message),
            std::move(informativeText),
            {{ConfirmAnswer::confirm, std::move(action)}, {ConfirmAnswer::cancel, "Cancel"}}};
}

// The question before leaving a section with edits that are not saved.
enum class LeaveAnswer { save, discard, cancel };

// The close question's answers.
enum class CloseAnswer { save, discard, cancel };

// The API-key dialog's answers.
enum class APIKeyAnswer { saveKey, clearKey, cancel };

// The API-key dialog: a question with a masked text field.
struct APIKeyDialog : HubQuestion<APIKeyAnswer> {
    std::string placeholder;
};

}  // namespace tavlo
