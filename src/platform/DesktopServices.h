#pragma once
// What the program asks of the desktop session as a whole: the screens the
// bubble is placed on, opening web and mail links with the user's own
// programs, and ending this program.
#include <string>
#include <vector>

#include "base/BubbleFrameText.h"

namespace tavlo {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // The visible area of each screen (without panels), the main screen first;
    // empty when there is no screen.
    virtual std::vector<Rect> screenVisibleFrames() const = 0;
    // Opens a link with the desktop's default handler; false when it cannot.
    virtual bool openURL(const std::string& url) = 0;
    // Ends the program soon, through its orderly shutdown.
    virtual void terminate() = 0;
};

}  // namespace tavlo
