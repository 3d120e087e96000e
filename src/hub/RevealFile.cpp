#include "hub/RevealFile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace tavlo::hub {
namespace {

constexpr int fileManagerTimeoutMs = 2000;

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

// Only a file manager that is running or can be started by the bus.
bool fileManagerOnBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    return names->isServiceRegistered(fileManagerService).value() ||
           names->activatableServiceNames().value().contains(fileManagerService);
}

bool showItemsOverBus(const QUrl& file) {
    if (!fileManagerOnBus()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = fileManagerService;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       service, QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, fileManagerTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

bool canRevealFiles() {
    // Qt opens folders through xdg-open on this desktop.
    return fileManagerOnBus() || !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
}

bool revealInFileManager(const std::filesystem::path& file) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(file.string()));
    if (showItemsOverBus(url)) return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

}  // namespace tavlo::hub
