#pragma once
// Opens the Home window: made on first use, then only shown and hidden, so
// it keeps its state for the whole run. Recording keys in it needs its own
// view of the desktop's keys, on its own display connection.
#include <filesystem>
#include <functional>
#include <memory>

#include "app/core/AppDelegate.h"
#include "hub/model/PortHubEnvironment.h"
#include "platform/KeyEventSource.h"

namespace tavlo {

namespace hub {
class HubWindow;
}
class SettingsFileWatcher;
class ControllerHubHost;

class HubLauncher {
public:
    HubLauncher(HubEnvironmentPorts environment, std::function<std::shared_ptr<KeyEventSource>()> makeKeySource);
    ~HubLauncher();

    void setController(std::weak_ptr<AppDelegate> controller);
    // Once the window exists, a change of this file by anyone (another
    // program, an editor) shows in Home at once.
    void watchSettingsFile(std::filesystem::path file) { settingsFile_ = std::move(file); }
    void open();
    // How the triggers reach the program changed (the desktop bound other
    // keys): an open Home shows it.
    void triggerMechanismChanged();
    // The window, once it was opened.
    hub::HubWindow* window() const { return window_.get(); }

private:
    HubEnvironmentPorts environment_;
    std::function<std::shared_ptr<KeyEventSource>()> makeKeySource_;
    std::shared_ptr<ControllerHubHost> host_;
    std::unique_ptr<hub::HubWindow> window_;
    std::filesystem::path settingsFile_;
    std::unique_ptr<SettingsFileWatcher> watcher_;
};

}  // namespace tavlo
