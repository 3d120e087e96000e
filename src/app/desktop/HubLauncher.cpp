#include "app/desktop/HubLauncher.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QTimeZone>

#include "app/core/ControllerHubHost.h"
#include "hub/HubWindow.h"
#include "hub/QtHubFeedback.h"

namespace tavlo {

// Watches the settings file and its folder: a save replaces the file (a new
// one is renamed into place), an editor may write it in place.
class SettingsFileWatcher {
public:
    SettingsFileWatcher(const std::filesystem::path& file, std::function<void()> changed)
        : file_(QString::fromStdString(file.string())) {
        watcher_.addPath(QString::fromStdString(file.parent_path().string()));
        watchFile();
        auto onChange = [this, changed = std::move(changed)](const QString&) {
            watchFile();  // a replaced file is no longer watched
            changed();
        };
        QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_, onChange);
        QObject::connect(&watcher_, &QFileSystemWatcher::fileChanged, &watcher_, onChange);
    }

private:
    void watchFile() {
        if (!watcher_.files().contains(file_) && QFileInfo::exists(file_)) watcher_.addPath(file_);
    }

    QString file_;
    QFileSystemWatcher watcher_;
};

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
        if (!settingsFile_.empty())
            watcher_ = std::make_unique<SettingsFileWatcher>(
                settingsFile_, [window = window_.get()] { window->model().storedSettingsChanged(); });
    }
    window_->showHub();
}

void HubLauncher::triggerMechanismChanged() {
    if (window_) window_->model().triggerMechanismChanged();
}

}  // namespace tavlo
