#pragma once
// What every part of the hub's model shares: the settings store, the host
// (held weakly), the desktop feedback, the environment, the user's locale,
// the section shown and the view's notifications. Owned by HubViewModel; the
// section models keep a reference to it. Main thread only.
#include <functional>
#include <memory>
#include <string>

#include "hub/model/HubEnvironment.h"
#include "hub/model/HubFeedback.h"
#include "hub/model/HubHost.h"
#include "hub/model/HubSection.h"
#include "settings/SettingsStore.h"

namespace tavlo {

struct HubLocale {
    // The user's locale ("de_DE"): language names and history dates.
    std::string localeIdentifier = "en_US";
    // An IANA zone ("Europe/Berlin") for history dates; empty: the system's.
    std::string timeZoneIdentifier;
};

// What the view does when the model changes. Any of them may be empty.
struct HubViewCallbacks {
    // Rebuild the content area for this section (now the selected one) and
    // update the sidebar lights. A `refresh` always follows.
    std::function<void(HubSection section)> render;
    // Rewrite the reusable views from the model: the history search field,
    // table, selection and detail; the dictionary, transcript and snippet
    // texts.
    std::function<void()> refresh;
    // The history table's rows, selection or detail changed; the search
    // field is left as the user is typing in it.
    std::function<void()> historyChanged;
    // A model download made progress: the Speech row's status and progress
    // bar are rewritten in place (the rest of Home stays as it is).
    std::function<void()> whisperDownloadProgressed;
};

class HubContext {
public:
    HubContext(SettingsStore& store, std::shared_ptr<HubFeedback> feedback,
               std::shared_ptr<HubEnvironment> environment, HubLocale locale);
    HubContext(const HubContext&) = delete;
    HubContext& operator=(const HubContext&) = delete;

    SettingsStore& store() const { return store_; }
    HubFeedback& feedback() const { return *feedback_; }
    HubEnvironment& environment() const { return *environment_; }
    const HubLocale& locale() const { return locale_; }

    // Null once the host is gone: the caller skips its request.
    std::shared_ptr<HubHost> host() const { return host_.lock(); }
    void setHost(std::weak_ptr<HubHost> host) { host_ = std::move(host); }

    void setViewCallbacks(HubViewCallbacks callbacks) { callbacks_ = std::move(callbacks); }
    // Runs before every refresh notification (the history's default selection).
    void setBeforeRefresh(std::function<void()> hook) { beforeRefresh_ = std::move(hook); }

    HubSection selectedSection() const { return selectedSection_; }
    // Shows the section: selects it, asks the view to rebuild it, then refreshes.
    void render(HubSection section);
    void refresh();
    void historyChanged();
    void whisperDownloadProgressed();

private:
    SettingsStore& store_;
    std::shared_ptr<HubFeedback> feedback_;
    std::shared_ptr<HubEnvironment> environment_;
    HubLocale locale_;
    std::weak_ptr<HubHost> host_;
    HubViewCallbacks callbacks_;
    std::function<void()> beforeRefresh_;
    HubSection selectedSection_ = HubSection::home;
};

}  // namespace tavlo
