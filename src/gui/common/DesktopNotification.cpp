#include "gui/common/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

bool NotifyDesktop(const QString& title, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusInterface service("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                         "org.freedesktop.Notifications", bus);
  if (!service.isValid()) return false;
  const QDBusReply<uint> reply = service.call("Notify", title, uint(0), QString("quor"), title,
                                              body, QStringList(), QVariantMap(), int(-1));
  return reply.isValid();
}
