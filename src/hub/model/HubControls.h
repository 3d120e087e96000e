#pragma once
// Plain descriptions of the controls the hub's model hands to its view.
#include <cstddef>
#include <string>
#include <vector>

namespace tavlo {

// One item of a pop-up menu. `value` is the item's represented text: the
// view hands it back when the item is chosen.
struct PopupItem {
    std::string title;
    std::string value;
    bool enabled = true;
    bool operator==(const PopupItem&) const = default;
};

struct Popup {
    std::vector<PopupItem> items;
    std::size_t selectedIndex = 0;  // the item shown
    std::string toolTip;            // empty: none
    bool operator==(const Popup&) const = default;
};

}  // namespace tavlo
