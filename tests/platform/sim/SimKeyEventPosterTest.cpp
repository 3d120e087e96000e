// The simulated keystrokes that the controller's virtual-time tests use:
// nothing goes out without permission, a request may grant it, and a test
// can make a simulated application react before the completion runs.
#include <gtest/gtest.h>

#include "platform/sim/SimKeyEventPoster.h"

namespace tavlo {
namespace {

TEST(SimKeyEventPosterTest, KeystrokesNeedPermissionAndAreSeenBeforeTheirCompletion) {
    SimKeyEventPoster poster;
    const RunningApplication editor{321, "org.example.Editor", "Editor"};
    std::vector<std::string> order;
    poster.setOnPost([&](const SimKeyEventPoster::Posted&) { order.push_back("posted"); });

    poster.setPermitted(false);
    poster.postPaste(editor, [&](bool sent) { order.push_back(sent ? "sent" : "refused"); });
    EXPECT_FALSE(poster.requestPostingPermission());
    poster.setGrantOnRequest(true);
    EXPECT_TRUE(poster.requestPostingPermission());
    EXPECT_EQ(poster.permissionRequests(), 2);

    poster.postPaste(editor, [&](bool sent) { order.push_back(sent ? "sent" : "refused"); });
    poster.postCopy(std::nullopt, nullptr);
    poster.postReturn([&](bool sent) { order.push_back(sent ? "sent" : "refused"); });
    EXPECT_EQ(order, (std::vector<std::string>{"refused", "posted", "sent", "posted", "posted", "sent"}));
    using K = SimKeyEventPoster::Keystroke;
    EXPECT_EQ(poster.posted(), (std::vector<SimKeyEventPoster::Posted>{
                                   {K::paste, editor}, {K::copy, std::nullopt}, {K::enter, std::nullopt}}));
}

}  // namespace
}  // namespace tavlo
