#include "app/desktop/DBusNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tavlo {
namespace {

// A desktop without a notification service answers at once; one that hangs
// must not hold up the start for long.
constexpr int replyTimeoutMs = 3000;

}  // namespace

bool DBusNotifications::notify(const std::string& summary, const std::string& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    call << QStringLiteral("Tavlo") << 0u << QStringLiteral("app.tavlo.Tavlo") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, replyTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace tavlo
