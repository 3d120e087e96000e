#pragma once
// The program's icon in the panel's tray: its image follows the dictation state.
#include "base/BubbleState.h"

namespace tavlo {

class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void showStatusImage(BubbleState state) = 0;
};

}  // namespace tavlo
