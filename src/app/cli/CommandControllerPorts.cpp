#include "app/cli/CommandControllerPorts.h"

#include <utility>

#include "platform/linux/files/SystemUserFiles.h"

namespace tavlo::cli {

AppDelegatePorts commandControllerPorts(SettingsStore& store, const RecognitionServices& services,
                                        std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Pasteboard> pasteboard,
                                        const HostEnvironment& host, const DiagnosticsLog& log) {
    AppDelegatePorts ports;
    ports.store = &store;
    ports.dictationEngine = services.engine;
    ports.mainQueue = std::move(mainQueue);
    ports.pasteboard = std::move(pasteboard);
    ports.userFiles = std::make_shared<SystemUserFiles>(host);
    ports.logDiagnostic = [&log](std::string_view message) { log.logDiagnostic(message); };
    return ports;
}

}  // namespace tavlo::cli
