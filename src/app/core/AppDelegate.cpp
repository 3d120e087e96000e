#include "app/core/AppDelegate.h"

#include <stdexcept>
#include <utility>

namespace tavlo {

std::shared_ptr<AppDelegate> AppDelegate::create(AppDelegatePorts ports) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(ports)));
}

namespace {

SettingsStore& requireStore(SettingsStore* store) {
    if (store == nullptr) throw std::invalid_argument("The controller needs the settings store.");
    return *store;
}

}  // namespace

AppDelegate::AppDelegate(AppDelegatePorts ports)
    : store(requireStore(ports.store)),
      dictationEngine(std::move(ports.dictationEngine)),
      mainQueue(std::move(ports.mainQueue)),
      pasteboard(std::move(ports.pasteboard)),
      userFiles(std::move(ports.userFiles)),
      log(std::move(ports.logDiagnostic)),
      workspace(std::move(ports.workspace)),
      accessibility(std::move(ports.accessibility)),
      hotKeys(std::move(ports.recordingHotKeys)),
      feedbackTones(std::move(ports.feedbackTones)),
      hotKeyManager(std::move(ports.hotKeyManager)),
      keyEventSource(std::move(ports.keyEventSource)),
      keyEventPoster(std::move(ports.keyEventPoster)),
      deliveryLock(std::move(ports.deliveryLock)),
      alerts(std::move(ports.alerts)),
      desktop(std::move(ports.desktop)),
      updateChecker(std::move(ports.updateChecker)),
      wallClock(ports.wallClock),
      openHub(std::move(ports.openHub)),
      notifications(std::move(ports.notifications)),
      identity(std::move(ports.identity)),
      canDeliverIntoApplications(ports.canDeliverIntoApplications),
      alwaysAutoPaste(ports.alwaysAutoPaste) {}

void AppDelegate::logDiagnostic(std::string_view message) const {
    if (log) log(message);
}

}  // namespace tavlo
