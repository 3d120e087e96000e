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

// The close question's answers.
enum class CloseAnswer { save, discard, cancel };

// The API-key dialog's answers.
enum class APIKeyAnswer { saveKey, clearKey, cancel };

// The API-key dialog: a question with a masked text field.
struct APIKeyDialog : HubQuestion<APIKeyAnswer> {
    std::string placeholder;
};

}  // namespace tavlo
