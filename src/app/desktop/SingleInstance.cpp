#include "app/desktop/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>
#include <filesystem>

#include "platform/linux/process/PeerCredentials.h"

namespace tavlo {
namespace {

constexpr int answerTimeoutMs = 2000;

}  // namespace

std::string instanceSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::filesystem::path folder;
    if (runtime && *runtime && std::filesystem::path(runtime).is_absolute()) {
        folder = std::filesystem::path(runtime);
    } else {
        std::error_code ignored;
        folder = std::filesystem::temp_directory_path(ignored) / ("tavlo-" + std::to_string(::getuid()));
        ::mkdir(folder.c_str(), 0700);
        // Only a folder of our own, closed to others, is used; another user's
        // folder of that name leaves us without single-instance detection.
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
            (info.st_mode & 077) != 0)
            return {};
    }
    return (folder / "tavlo-instance").string();
}

SingleInstance::SingleInstance(std::string socketPath) : socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::askRunningInstanceToOpenHome() {
    if (socketPath_.empty()) return false;
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath_));
    if (!socket.waitForConnected(answerTimeoutMs)) return false;
    socket.write("home\n");
    if (!socket.waitForBytesWritten(answerTimeoutMs)) return false;
    // The running instance closes the connection once it has read the request.
    socket.waitForDisconnected(answerTimeoutMs);
    return true;
}

bool SingleInstance::listen(std::function<void()> openHome) {
    if (socketPath_.empty()) return false;
    openHome_ = std::move(openHome);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // No instance answered: a socket left by one that crashed is stale.
    QLocalServer::removeServer(QString::fromStdString(socketPath_));
    if (!server_->listen(QString::fromStdString(socketPath_))) return false;
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            // The folder is the user's own, but a request is only taken from
            // a program running as this user.
            if (!peerIsThisUser(static_cast<int>(client->socketDescriptor()))) {
                client->abort();
                client->deleteLater();
                continue;
            }
            connect(client, &QLocalSocket::readyRead, client, [this, client] {
                // One line of at most 64 bytes, which may come in pieces.
                if (!client->canReadLine() && client->bytesAvailable() < 64) return;
                const QByteArray request = client->read(64);
                if (request.startsWith("home") && openHome_)
                    openHome_();
                else if (requestHandler_)
                    client->write(QByteArray::fromStdString(
                        requestHandler_(std::string_view(request.constData(), static_cast<std::size_t>(request.size())))));
                client->disconnectFromServer();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

}  // namespace tavlo
