#pragma once
// One desktop program per user and session: the program that holds the
// instance channel (taken at the very start of its launch) answers requests
// from later starts here, on Qt's event loop; a later start asks it to open
// its Home window and leaves, so the shortcuts are never registered twice.
#include <QObject>
#include <functional>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace tavlo {

class InstanceChannel;

class SingleInstance final : public QObject {
public:
    // `channel` is the running one's and outlives this object; `openHome`
    // runs for each "home" request.
    SingleInstance(InstanceChannel& channel, std::function<void()> openHome);
    ~SingleInstance() override;

    // Answers every other request line (the trigger commands', with its line
    // feed); what it returns goes back to the sender.
    void setRequestHandler(std::function<std::string(std::string_view request)> handler) {
        requestHandler_ = std::move(handler);
    }

private:
    void acceptWaiting();

    InstanceChannel& channel_;
    std::function<void()> openHome_;
    std::function<std::string(std::string_view)> requestHandler_;
    QSocketNotifier* notifier_;
};

}  // namespace tavlo
