#pragma once
// The controller's ports as the commands give them: the user's settings, the
// recognition engine, the command's own main queue, a clipboard, the user's
// files and the diagnostics log. Each command adds what it needs beyond that.
#include <memory>

#include "app/cli/RecognitionServices.h"
#include "app/core/AppDelegate.h"
#include "app/core/DiagnosticsLog.h"
#include "platform/HostEnvironment.h"

namespace tavlo::cli {

// `store` and `log` must outlive the controller made from the ports.
AppDelegatePorts commandControllerPorts(SettingsStore& store, const RecognitionServices& services,
                                        std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Pasteboard> pasteboard,
                                        const HostEnvironment& host, const DiagnosticsLog& log);

}  // namespace tavlo::cli
