// Delivery with the real desktop adapters when the target application quits
// between the moment it was chosen and the paste: no crash, no keystroke
// into nowhere, and the text stays on the clipboard for the user.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/DeliveryAdapters.h"
#include "app/core/AppDelegate.h"
#include "harness/AccessibilityBus.h"
#include "harness/TemporaryDirectory.h"
#include "harness/TextFieldApplication.h"
#include "harness/XvfbDesktop.h"
#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/SettingsStore.h"

// Last: Xlib's macros clash with names in the headers above.
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::testing {
namespace {

TEST(DeliveryTargetSerially, ATargetThatQuitsBeforeThePasteLeavesTheTextOnTheClipboard) {
    const std::string missing = XvfbDesktop::missingPrograms() + AccessibilityBus::missingPrograms() +
                                TextFieldApplication::missingPrograms(Toolkit::gtk3);
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
    auto& desktop = XvfbDesktop::shared();
    ASSERT_TRUE(desktop.running()) << desktop.error();
    auto& bus = AccessibilityBus::shared();
    ASSERT_TRUE(bus.running()) << bus.error();
    ASSERT_TRUE(bus.setEnabled(true));

    InMemoryPreferenceStore preferences;
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store{preferences, secrets, host, clock};
    auto field = std::make_unique<TextFieldApplication>(Toolkit::gtk3, TextFieldSetup{"hello", 5, 5});
    ASSERT_TRUE(field->running()) << field->error();

    std::optional<PasteOutcome> outcome;
    std::optional<std::string> clipboard;
    std::optional<std::string> target;
    cli::runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, cli::Finished finished) {
        auto connection = x11::X11Connection::open();
        ASSERT_TRUE(connection);
        const cli::DeliveryAdapters delivery = cli::makeX11DeliveryAdapters(connection);
        AppDelegatePorts ports;
        ports.store = &store;
        ports.mainQueue = mainQueue;
        delivery.addTo(ports);
        auto controller = AppDelegate::create(std::move(ports));
        controller->followActiveApplications();
        if (const auto front = delivery.workspace->frontmostApplication())
            target = front->localizedName.value_or("");
        // The field's application goes away after it was chosen as the target.
        field.reset();
        controller->pasteOrCopy("late text", false, std::nullopt, [&, controller, finished](PasteOutcome result) {
            outcome = result;
            clipboard = delivery.pasteboard->string();
            finished();
        });
    });
    EXPECT_TRUE(target.has_value()) << "the field was never in front";
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(*outcome == PasteOutcome::noTarget || *outcome == PasteOutcome::clipboardOnly)
        << static_cast<int>(*outcome);
    EXPECT_EQ(clipboard, "late text");
}

}  // namespace
}  // namespace tavlo::testing
