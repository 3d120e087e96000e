#include "app/desktop/HubLauncher.h"

#include <QLocale>
#include <QTimeZone>

#include "app/core/ControllerHubHost.h"
#include "hub/HubWindow.h"
#include "hub/QtHubFeedback.h"

namespace tavlo {

HubLauncher::HubLauncher(HubEnvironmentPorts environment,
                         std::function<std::shared_ptr<KeyEventSource>()> makeKeySource)
    : environment_(std::move(environment)), makeKeySource_(std::move(makeKeySource)) {}

HubLauncher::~HubLauncher() = default;

void HubLauncher::setController(std::weak_ptr<AppDelegate> controller) {
    host_ = std::make_shared<ControllerHubHost>(std::move(controller));
}

void HubLauncher::open() {
    if (!window_) {
        HubLocale locale;
        locale.localeIdentifier = QLocale::system().name().toStdString();
        locale.timeZoneIdentifier = QTimeZone::systemTimeZoneId().toStdString();
        auto model = std::make_unique<HubViewModel>(*environment_.store, std::make_shared<hub::QtHubFeedback>(),
                                                    std::make_shared<PortHubEnvironment>(environment_),
                                                    std::move(locale));
        model->setHost(host_);
        window_ = std::make_unique<hub::HubWindow>(std::move(model), makeKeySource_ ? makeKeySource_() : nullptr);
    }
    window_->showHub();
}

}  // namespace tavlo
