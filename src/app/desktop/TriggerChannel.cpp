#include "app/desktop/TriggerChannel.h"

#include "app/core/AppDelegate.h"
#include "app/core/TriggerRequest.h"

namespace tavlo {

std::function<std::string(std::string_view request)> triggerRequestHandler(std::weak_ptr<AppDelegate> controller) {
    return [controller = std::move(controller)](std::string_view request) {
        const auto action = parseTriggerRequest(request);
        auto self = controller.lock();
        if (!action || !self) return std::string(triggerRefusedReply);
        self->performTriggerAction(*action);
        return std::string(triggerAcceptedReply);
    };
}

}  // namespace tavlo
