#include "app/desktop/TriggerChannel.h"

#include "app/core/AppDelegate.h"
#include "app/core/StatusMenu.h"
#include "app/core/TriggerRequest.h"

namespace tavlo {

std::function<std::string(std::string_view request)> triggerRequestHandler(std::weak_ptr<AppDelegate> controller) {
    return [controller = std::move(controller)](std::string_view request) {
        if (request == quitRequestLine) {
            auto self = controller.lock();
            if (!self) return std::string(triggerRefusedReply);
            // As the menu's Quit: the program leaves its loop after this
            // answer went out.
            StatusMenuItem quit;
            quit.action = StatusMenuAction::quit;
            self->performMenuAction(quit);
            return std::string(triggerAcceptedReply);
        }
        const auto action = parseTriggerRequest(request);
        auto self = controller.lock();
        if (!action || !self) return std::string(triggerRefusedReply);
        self->performTriggerAction(*action);
        return std::string(triggerAcceptedReply);
    };
}

}  // namespace tavlo
