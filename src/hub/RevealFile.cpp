#include "hub/RevealFile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

namespace tavlo::hub {
namespace {

constexpr int fileManagerTimeoutMs = 2000;

bool showItemsOverBus(const QUrl& file) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    // Only a file manager that is running or can be started by the bus.
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    const bool available = names->isServiceRegistered(service).value() ||
                           names->activatableServiceNames().value().contains(service);
    if (!available) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       service, QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, fileManagerTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

bool revealInFileManager(const std::filesystem::path& file) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(file.string()));
    if (showItemsOverBus(url)) return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

}  // namespace tavlo::hub
