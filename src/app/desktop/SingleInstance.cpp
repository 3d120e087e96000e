#include "app/desktop/SingleInstance.h"

#include <QLocalSocket>
#include <QSocketNotifier>

#include "platform/linux/instance/InstanceChannel.h"

namespace tavlo {
namespace {

// A request is one short line; anything longer is not read further.
constexpr qint64 longestRequest = 64;

}  // namespace

SingleInstance::SingleInstance(InstanceChannel& channel, std::function<void()> openHome)
    : channel_(channel),
      openHome_(std::move(openHome)),
      notifier_(new QSocketNotifier(channel.listeningDescriptor(), QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this] { acceptWaiting(); });
    // Requests that came while the program was launching wait in the queue.
    acceptWaiting();
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::acceptWaiting() {
    for (Descriptor connection = channel_.accept(); connection.get() >= 0; connection = channel_.accept()) {
        auto* client = new QLocalSocket(this);
        if (!client->setSocketDescriptor(connection.release())) {
            delete client;
            continue;
        }
        client->setReadBufferSize(longestRequest);
        auto answer = [this, client] {
            if (!client->canReadLine() && client->bytesAvailable() < longestRequest) return;
            const QByteArray line = client->readLine(longestRequest);
            if (line.trimmed() == "home") {
                if (openHome_) openHome_();
            } else if (requestHandler_) {
                client->write(QByteArray::fromStdString(
                    requestHandler_(std::string_view(line.constData(), static_cast<std::size_t>(line.size())))));
                // Out now: a quit request ends the event loop that would
                // otherwise send it later.
                client->flush();
            }
            client->disconnectFromServer();
        };
        connect(client, &QLocalSocket::readyRead, client, answer);
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

}  // namespace tavlo
