#pragma once
// The program's icon in the panel's tray: its image follows the dictation state.
#include <string>

#include "base/BubbleState.h"

namespace tavlo {

class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void showStatusImage(BubbleState state) = 0;
    // The text shown when the pointer rests on the icon.
    virtual void showToolTip(const std::string& text) { (void)text; }
};

}  // namespace tavlo
