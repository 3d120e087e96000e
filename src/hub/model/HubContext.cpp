#include "hub/model/HubContext.h"

#include <utility>

namespace tavlo {

HubContext::HubContext(SettingsStore& store, std::shared_ptr<HubFeedback> feedback,
                       std::shared_ptr<HubEnvironment> environment, HubLocale locale)
    : store_(store), feedback_(std::move(feedback)), environment_(std::move(environment)),
      locale_(std::move(locale)) {}

void HubContext::render(HubSection section) {
    selectedSection_ = section;
    if (callbacks_.render) callbacks_.render(section);
    refresh();
}

void HubContext::refresh() {
    if (beforeRefresh_) beforeRefresh_();
    if (callbacks_.refresh) callbacks_.refresh();
}

void HubContext::historyChanged() {
    if (callbacks_.historyChanged) callbacks_.historyChanged();
}

void HubContext::whisperDownloadProgressed() {
    if (callbacks_.whisperDownloadProgressed) callbacks_.whisperDownloadProgressed();
}

}  // namespace tavlo
