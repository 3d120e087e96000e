#pragma once
// One desktop program per user and session: the first one listens on a
// socket in the user's private runtime folder; a second one started later
// asks it to open its Home window and leaves, so the shortcuts are never
// registered twice.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QLocalServer;

namespace tavlo {

class SingleInstance final : public QObject {
public:
    // `socketPath` lies in a folder only this user can open.
    explicit SingleInstance(std::string socketPath);
    ~SingleInstance() override;

    // True when another instance answered and took the request.
    bool askRunningInstanceToOpenHome();
    // Becomes the running instance; `openHome` runs for each later request.
    bool listen(std::function<void()> openHome);
    // Answers every other request line (the trigger commands'); what it
    // returns goes back to the sender.
    void setRequestHandler(std::function<std::string(std::string_view request)> handler) {
        requestHandler_ = std::move(handler);
    }

private:
    std::string socketPath_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> openHome_;
    std::function<std::string(std::string_view)> requestHandler_;
};

// The socket's path: under $XDG_RUNTIME_DIR when it is set, else in a
// folder of the temporary directory named for the user and made private.
std::string instanceSocketPath();

}  // namespace tavlo
