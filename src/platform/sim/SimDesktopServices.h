#pragma once
// A desktop session without a desktop: screens are set by the test, opened
// links and the request to quit are recorded.
#include <string>
#include <vector>

#include "platform/DesktopServices.h"

namespace tavlo {

class SimDesktopServices final : public DesktopServices {
public:
    std::vector<Rect> screenVisibleFrames() const override { return screens; }
    bool openURL(const std::string& url) override {
        openedURLs.push_back(url);
        return opensURLs;
    }
    void terminate() override { ++terminateRequests; }

    std::vector<Rect> screens{{0, 0, 1440, 875}};
    std::vector<std::string> openedURLs;
    bool opensURLs = true;  // false: no program takes the address
    int terminateRequests = 0;
};

}  // namespace tavlo
