#pragma once
// The desktop session through Qt: the screens' areas left free by panels,
// links opened with the user's programs, and leaving the event loop.
#include "platform/DesktopServices.h"

namespace tavlo {

class QtDesktopServices final : public DesktopServices {
public:
    std::vector<Rect> screenVisibleFrames() const override;
    bool openURL(const std::string& url) override;
    void terminate() override;
};

}  // namespace tavlo
